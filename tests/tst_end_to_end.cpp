// The real program path: the tool's engine with the QSerialPort adapter talking to the stand-alone
// virtual meter over a pseudo-terminal.

#include "app/TForm1.h"
#include "link/LinkDriver.h"
#include "service/CommPage.h"
#include "tests/MeterSim.h"
#include "tests/Ser2net.h"
#include "texts/UiTexts.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTest>

#include <memory>
#include <vector>

using namespace kvam;

namespace {

using test::startMeter;
using test::stopMeter;

QString monitorText(TForm1& f)
{
    return f.findChild<CommPage*>(QStringLiteral("TabSheet_Comm"))->monitorText();
}

} // namespace

class TstEndToEnd : public QObject
{
    Q_OBJECT
private slots:
    // The window reads the user password at start: never the real user's store.
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    // Directly on the line, and behind a real serial device server (ser2net) over both kinds of
    // network port.
    void startupReadsAnswered_data()
    {
        QTest::addColumn<int>("way"); // -1 the pty itself, else a Ser2net::Accepter
        QTest::newRow("pty") << -1;
        QTest::newRow("tcp via ser2net") << int(test::Ser2net::Accepter::Raw);
        QTest::newRow("rfc2217 via ser2net") << int(test::Ser2net::Accepter::Rfc2217);
    }
    void startupReadsAnswered()
    {
        QFETCH(int, way);
        QProcess sim;
        const QString path = startMeter(sim, {});
        QVERIFY2(path.startsWith(QStringLiteral("/dev/")), qPrintable(path));
        std::unique_ptr<test::Ser2net> server;
        QString port = path;
        if (way >= 0) {
            const auto accepter = test::Ser2net::Accepter(way);
            server = std::make_unique<test::Ser2net>(path, std::vector{accepter});
            QVERIFY2(server->start(), qPrintable(server->error()));
            port = server->address(accepter);
        }
        {
            TForm1 f;
            QStringList errors;
            f.prompts().showError = [&](const QString& t) { errors << t; };
            f.openPortByName(port);
            QVERIFY2(errors.isEmpty(), qPrintable(errors.join('\n')));
            QTRY_VERIFY_WITH_TIMEOUT(!f.engine().flag(Read_Version), 10000);
            QVERIFY(!f.engine().flag(Read_RAM2));
            QVERIFY(!f.engine().flag(Read_RAM3));
            QCOMPARE(monitorText(f).count(QStringLiteral("CRC OK")), 3);
            QVERIFY(!monitorText(f).contains(QStringLiteral("Timeout")));
            // A network port says where it is connected and with which answer time-out.
            if (server)
                QVERIFY2(monitorText(f).contains(currentText("Network.Connected")
                                                     .arg(port)
                                                     .arg(f.link().roundTripMs())
                                                     .arg(f.link().answerTimeoutMs())
                                                     .section(QLatin1Char('('), 0, 0)),
                         qPrintable(monitorText(f).left(400)));
            // Polling the measurement page over the real line.
            f.activatePage(QStringLiteral("TabSheet_Meres"));
            QTRY_VERIFY_WITH_TIMEOUT(monitorText(f).contains(QStringLiteral("Data received:\n03 B6 00")),
                                     10000);
        }
        if (server)
            QVERIFY(server->stop());
        stopMeter(sim);
    }

    void silentMeterTimesOutAndRetries()
    {
        QProcess sim;
        const QString path = startMeter(sim, {QStringLiteral("--faults"), QStringLiteral("drop=1")});
        QVERIFY2(path.startsWith(QStringLiteral("/dev/")), qPrintable(path));
        {
            TForm1 f;
            f.prompts().showError = [](const QString&) {};
            f.openPortByName(path);
            QTRY_VERIFY_WITH_TIMEOUT(monitorText(f).count(QStringLiteral("Command: \n06 02 00")) >= 2, 10000);
            const QString text = monitorText(f);
            QVERIFY(text.contains(QStringLiteral("Timeout")));
            // Each request waits for its time-out before the next goes out.
            QVERIFY(text.indexOf(QStringLiteral("Timeout")) <
                    text.indexOf(QStringLiteral("Command: \n08 02 00")));
            QVERIFY(f.engine().flag(Read_RAM2));
        }
        stopMeter(sim);
    }

    void faultyLineStillGetsThrough()
    {
        QProcess sim;
        const QString path = startMeter(sim, {QStringLiteral("--faults"),
                                              QStringLiteral("crc=0.3,split=0.5,garbage=0.3,drop=0.2"),
                                              QStringLiteral("--seed"), QStringLiteral("7")});
        QVERIFY2(path.startsWith(QStringLiteral("/dev/")), qPrintable(path));
        {
            TForm1 f;
            f.prompts().showError = [](const QString&) {};
            f.openPortByName(path);
            // Every one-shot read is repeated until a good answer arrives.
            QTRY_VERIFY_WITH_TIMEOUT(!f.engine().flag(Read_Version) && !f.engine().flag(Read_RAM2) &&
                                         !f.engine().flag(Read_RAM3),
                                     30000);
            QVERIFY(f.link().portOpen());
        }
        stopMeter(sim);
    }

    void vanishedPortIsReported()
    {
        QProcess sim;
        const QString path = startMeter(sim, {});
        QVERIFY2(path.startsWith(QStringLiteral("/dev/")), qPrintable(path));
        TForm1 f;
        f.prompts().showError = [](const QString&) {};
        f.openPortByName(path);
        f.activatePage(QStringLiteral("TabSheet_Phasor")); // keeps Read_Net polled
        QTRY_VERIFY_WITH_TIMEOUT(monitorText(f).contains(QStringLiteral("CRC OK")), 10000);
        sim.kill(); // the far end disappears
        sim.waitForFinished(5000);
        // The device hangs up: the read error is shown and the port is closed, the tool stays up.
        QTRY_VERIFY_WITH_TIMEOUT(monitorText(f).contains(QStringLiteral("Error: No communication port!")),
                                 10000);
        QTRY_VERIFY(!f.link().portOpen());
        QVERIFY(f.engine().flag(Read_Net));
    }
};

QTEST_MAIN(TstEndToEnd)
#include "tst_end_to_end.moc"
