// Starts of the window that a script runs (--screenshot, --report), each as a child process on the
// offscreen platform: none may wait for a click, each ends within a bound with the status that says
// whether it did what was asked.

#include "tests/MeterSim.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

namespace {

constexpr int kBoundMs = 15000;

} // namespace

class TstScriptedStart : public QObject
{
    Q_OBJECT

private slots:
    void endsWithItsStatus_data()
    {
        QTest::addColumn<QStringList>("args");  // PTS: a served meter's terminal, SILENT: nobody serves it
        QTest::addColumn<QStringList>("meter"); // kvam-meter-sim's options when PTS is used
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("made"); // the file that must exist afterwards, or empty
        QTest::newRow("report without a port")
            << QStringList{"--report", "OUT/r.pdf"} << QStringList{} << 3 << "";
        QTest::newRow("screenshot, no such port")
            << QStringList{"--port", "/dev/nonexistent", "--screenshot", "OUT/shot.png"} << QStringList{} << 3
            << "OUT/shot.png";
        QTest::newRow("report, no such port")
            << QStringList{"--port", "/dev/nonexistent", "--report", "OUT/r.pdf"} << QStringList{} << 3 << "";
        QTest::newRow("report, firmware refused") << QStringList{"--port", "PTS", "--report", "OUT/r.pdf"}
                                                  << QStringList{"--version", "2.9.1"} << 4 << "";
        QTest::newRow("screenshot, firmware refused")
            << QStringList{"--port", "PTS", "--screenshot", "OUT/shot.png"}
            << QStringList{"--version", "2.9.1"} << 4 << "";
        QTest::newRow("report of the demo meter")
            << QStringList{"--demo", "--report", "OUT/r.pdf"} << QStringList{} << 0 << "OUT/r.pdf";
        QTest::newRow("English HTML report of a meter on a line")
            << QStringList{"--port", "PTS", "--english", "--report", "OUT/r.html"} << QStringList{} << 0
            << "OUT/r.html";
        QTest::newRow("report file not writable")
            << QStringList{"--demo", "--report", "OUT/missing/r.pdf"} << QStringList{} << 5 << "";
        QTest::newRow("report, meter never answers")
            << QStringList{"--port", "SILENT", "--report", "OUT/r.pdf"} << QStringList{} << 3 << "";
    }
    void endsWithItsStatus()
    {
        QFETCH(QStringList, args);
        QFETCH(QStringList, meter);
        QFETCH(int, status);
        QFETCH(QString, made);
        QTemporaryDir out;
        QProcess sim;
        int silent = -1;
        for (QString& a : args) {
            a.replace(QLatin1String("OUT"), out.path());
            if (a == QLatin1String("PTS")) {
                a = kvam::test::startMeter(sim, meter);
                QVERIFY(!a.isEmpty());
            } else if (a == QLatin1String("SILENT")) {
                silent = posix_openpt(O_RDWR | O_NOCTTY);
                QVERIFY(silent >= 0 && grantpt(silent) == 0 && unlockpt(silent) == 0);
                a = QString::fromLocal8Bit(ptsname(silent));
            }
        }
        QProcess app;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("HOME"), out.path()); // backups and settings stay in the test's folder
        app.setProcessEnvironment(env);
        QElapsedTimer clock;
        clock.start();
        app.start(QStringLiteral(KVAM_APP), args);
        const bool ended = app.waitForFinished(kBoundMs);
        const qint64 took = clock.elapsed();
        if (!ended)
            app.kill();
        app.waitForFinished(2000);
        if (sim.state() != QProcess::NotRunning)
            kvam::test::stopMeter(sim);
        if (silent >= 0)
            ::close(silent);
        const QByteArray err = app.readAllStandardError();
        QVERIFY2(
            ended,
            qPrintable(
                QStringLiteral("still running after %1 ms: %2").arg(took).arg(QString::fromLocal8Bit(err))));
        QCOMPARE(app.exitStatus(), QProcess::NormalExit);
        QVERIFY2(app.exitCode() == status, qPrintable(QStringLiteral("status %1 after %2 ms: %3")
                                                          .arg(app.exitCode())
                                                          .arg(took)
                                                          .arg(QString::fromLocal8Bit(err))));
        if (status != 0)
            QVERIFY2(!err.trimmed().isEmpty(), "a failure must say why");
        if (!made.isEmpty()) {
            QFile file(made.replace(QLatin1String("OUT"), out.path()));
            QVERIFY(file.open(QIODevice::ReadOnly));
            QVERIFY(file.size() > 1000);
        } else {
            // A failed report leaves no file behind.
            QCOMPARE(QDir(out.path()).entryList({QStringLiteral("r.*")}, QDir::Files), QStringList());
        }
    }
};

QTEST_MAIN(TstScriptedStart)
#include "tst_scripted_start.moc"
