// The tool against a broken meter over a pseudo-terminal: kvam-meter-sim in its hostile mode answers
// the tool's requests with impossible lengths, wrong codes, poisoned floats, undecodable texts and a
// megabyte of noise, then answers well again. The tool must stay up, keep polling, keep its memory
// and monitor bounded, and take the first good answers that follow.

#include "app/TForm1.h"
#include "link/LinkDriver.h"
#include "meter/VirtualMeter.h"
#include "platform/LabeledEdit.h"
#include "service/CommPage.h"

#include <QLocale>
#include <QPlainTextEdit>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

#include <cmath>

#include <unistd.h>

using namespace kvam;

namespace {

/// kvam-meter-sim with --log-requests: its path, then its log lines as they come.
class MeterSim
{
public:
    ~MeterSim()
    {
        if (m_proc.state() != QProcess::NotRunning) {
            m_proc.kill();
            m_proc.waitForFinished(5000);
        }
    }

    /// Starts the simulator and returns its device path (empty on failure).
    QString start(const QStringList& args)
    {
        m_proc.start(QStringLiteral(KVAM_METER_SIM), QStringList{QStringLiteral("--log-requests")} + args);
        if (!m_proc.waitForStarted(5000))
            return {};
        for (int i = 0; i < 100 && !m_proc.canReadLine(); ++i)
            m_proc.waitForReadyRead(100);
        const QString path = QString::fromLocal8Bit(m_proc.readLine()).trimmed();
        QObject::connect(&m_proc, &QProcess::readyReadStandardOutput, [this] { readLines(); });
        return path;
    }

    /// Log lines so far, without their time stamps, and the time stamps (ms since the meter started).
    const QStringList& lines() { return (readLines(), m_lines); }
    const QList<qint64>& times() { return (readLines(), m_times); }

    bool seen(const QString& line) { return lines().contains(line); }
    int indexOf(const QString& line) { return lines().indexOf(line); }

    /// Time stamps of the requests the meter saw.
    QList<qint64> requestTimes()
    {
        QList<qint64> t;
        for (qsizetype i = 0; i < lines().size(); ++i)
            if (m_lines[i].startsWith(QLatin1String("request ")))
                t << m_times[i];
        return t;
    }

    bool running() const { return m_proc.state() == QProcess::Running; }

private:
    void readLines()
    {
        while (m_proc.canReadLine()) {
            const QString line = QString::fromLocal8Bit(m_proc.readLine()).trimmed();
            const qsizetype space = line.lastIndexOf(QLatin1Char(' '));
            m_lines << line.left(space);
            m_times << line.mid(space + 1).toLongLong();
        }
    }

    QProcess m_proc;
    QStringList m_lines;
    QList<qint64> m_times;
};

/// Resident set size of this process in bytes.
qint64 residentBytes()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toLongLong() * ::sysconf(_SC_PAGESIZE) : -1;
}

/// Whether the resident size tells what the program keeps. AddressSanitizer's quarantine holds
/// freed blocks back, so there it does only with the quarantine switched off.
bool rssMeaningful()
{
#if defined(__SANITIZE_ADDRESS__)
    return qEnvironmentVariable("ASAN_OPTIONS").contains(QLatin1String("quarantine_size_mb=0"));
#else
    return true;
#endif
}

QString fieldText(TForm1& f, const char* name)
{
    auto* edit = f.findChild<LabeledEdit*>(QLatin1String(name));
    return edit ? edit->text().trimmed() : QStringLiteral("<no field %1>").arg(QLatin1String(name));
}

/// The virtual meter's L1 voltage wanders around 230 V; poisoned records show anything but that.
bool plausibleVoltage(const QString& text)
{
    bool ok = false;
    const double v = QLocale().toDouble(text, &ok);
    return ok && std::isfinite(v) && v > 200.0 && v < 260.0;
}

// The most lines one monitor block can add: a 513-byte frame's dump (26 lines of hex) under its
// heading, with the verdict and the empty line behind it.
constexpr int kLargestBlockLines = 1 + 26 + 1 + 1;

} // namespace

class TstHostileMeter : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void storm_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<bool>("poisonsVoltage"); // the script's records reach the measurement fields

        // Every request of the storm is answered by the next step, whatever was asked; a "rec" length
        // is relative to the record of the request answered (rec = record + 2).
        QTest::newRow("length fields alone") << "len=0,len=1,len=2,len=rec-1,len=rec,len=rec+1,len=510,len="
                                                "511,len=512,len=513,len=514,len=65535"
                                             << false;
        QTest::newRow("length fields with their bytes")
            << "frame=0,frame=1,frame=2,frame=rec-1,frame=rec+1,frame=510,frame=511,frame=512,frame=513,"
               "frame=514,frame=65535"
            << false;
        QTest::newRow("wrong codes") << "code=0,code=17,code=255,code=1,code=16,code=7,code=2" << false;
        QTest::newRow("poisoned floats") << "float=nan,float=inf,float=-inf,float=1e38,float=-1e38" << true;
        QTest::newRow("undecodable version texts")
            << "date=80818283F0FEFF7F80FFA0C0,date=32303233002E30352E3137,date=00FF00FF,"
               "date=FFFFFFFFFFFFFFFFFFFFFFFF,version=garbage,version=garbage"
            << false;
        QTest::newRow("a megabyte of noise") << "noise=1048576" << false;
        QTest::newRow("everything at once")
            << "len=0,frame=511,code=17,float=nan,frame=65535,date=80FF00FF,len=65535,version=garbage,"
               "float=inf,frame=rec-1,noise=1048576"
            << true;
    }

    void storm()
    {
        QFETCH(QString, script);
        QFETCH(bool, poisonsVoltage);
        const int steps = int(script.count(QLatin1Char(','))) + 1;

        MeterSim sim;
        const QString path = sim.start({QStringLiteral("--no-pacing"), QStringLiteral("--hostile"), script});
        QVERIFY2(path.startsWith(QStringLiteral("/dev/")), qPrintable(path));

        TForm1 f;
        QStringList errors;
        QStringList refused;
        f.prompts().showError = [&](const QString& t) { errors << t; };
        f.prompts().refuseDevice = [&](const QString& t) { refused << t; };
        auto* memo = f.findChild<QPlainTextEdit*>(QStringLiteral("Memo1"));
        auto* comm = f.findChild<CommPage*>(QStringLiteral("TabSheet_Comm"));
        QVERIFY(memo && comm);
        int mostLines = 0;
        // Connected after the window's own handler: sees the monitor with each block added.
        connect(&f.link(), &LinkDriver::monitorText, this, [&] {
            mostLines = std::max({mostLines, memo->document()->blockCount(), comm->monitorLineCount()});
        });
        QStringList voltages;
        connect(&f.model(), &DeviceModel::netChanged, this, [&] { voltages << fieldText(f, "L1urms"); });

        // A long session has filled the monitor: the storm's blocks must push the oldest lines out.
        comm->DisplayCom(
            QStringList(CommPage::kMaxMonitorLines - 10, QStringLiteral("earlier")).join("\r\n"));
        QVERIFY(f.activatePage(QStringLiteral("TabSheet_Meres")));
        const qint64 rssBefore = residentBytes();
        f.openPortByName(path);
        QVERIFY2(errors.isEmpty(), qPrintable(errors.join('\n')));

        // The last step is under way: ask for one-shot reads that its storm must not eat. A page
        // change re-reads the version and both configuration records.
        QTRY_VERIFY_WITH_TIMEOUT(sim.seen(QStringLiteral("step %1").arg(steps)), 40000);
        QVERIFY(f.activatePage(QStringLiteral("TabSheet_Errors")));
        QVERIFY(f.activatePage(QStringLiteral("TabSheet_Meres")));
        QVERIFY(f.engine().flag(Read_Version) && f.engine().flag(Read_RAM2) && f.engine().flag(Read_RAM3));

        QTRY_VERIFY_WITH_TIMEOUT(sim.seen(QStringLiteral("script-done noise %1")
                                              .arg(script.contains(QLatin1String("noise")) ? 1048576 : 0)),
                                 20000);
        const int doneAt = sim.indexOf(QStringLiteral("script-done noise %1")
                                           .arg(script.contains(QLatin1String("noise")) ? 1048576 : 0));
        const qint64 doneMs = sim.times().at(doneAt);
        const int requestsAtDone = int(sim.requestTimes().size());

        // Good answers again: the pending one-shot reads are completed and the good records shown.
        QTRY_VERIFY_WITH_TIMEOUT(!f.engine().flag(Read_Version) && !f.engine().flag(Read_RAM2) &&
                                     !f.engine().flag(Read_RAM3),
                                 15000);
        QCOMPARE(f.memory().ram2, VirtualMeter::factoryRam2());
        // Each of them by the first good answer: none had to be asked again.
        const QStringList after = sim.lines().mid(doneAt + 1);
        for (int code : {Read_Version, Read_RAM2, Read_RAM3})
            QVERIFY2(after.count(QStringLiteral("request %1").arg(code)) == 1,
                     qPrintable(QStringLiteral("%1 asked %2 times after the storm")
                                    .arg(QLatin1String(commandName(code)))
                                    .arg(after.count(QStringLiteral("request %1").arg(code)))));
        QCOMPARE(fieldText(f, "Programversion"), QStringLiteral("3.2.7"));
        QCOMPARE(fieldText(f, "Programdate"), QStringLiteral("2023.05.17"));
        QTRY_VERIFY_WITH_TIMEOUT(plausibleVoltage(fieldText(f, "L1urms")), 10000);
        if (poisonsVoltage) // the poisoned records did reach the page before the good ones
            QVERIFY2(!std::all_of(voltages.begin(), voltages.end(), plausibleVoltage),
                     qPrintable(voltages.join(QLatin1String(" | "))));

        // Polling goes on: the meter sees requests all along, and several more after the storm.
        QTest::qWait(2000);
        const QList<qint64> requests = sim.requestTimes();
        QVERIFY2(
            requests.size() >= requestsAtDone + 4,
            qPrintable(QStringLiteral("%1 requests after the storm").arg(requests.size() - requestsAtDone)));
        qint64 longestGap = 0;
        for (qsizetype i = 1; i < requests.size(); ++i)
            longestGap = std::max(longestGap, requests[i] - requests[i - 1]);
        // One exchange is a 200 ms tick, a 300 ms time-out and the answer: 3 s of silence is lost polling.
        QVERIFY2(longestGap < 3000, qPrintable(QStringLiteral("%1 ms without a request").arg(longestGap)));

        const qint64 rssAfter = residentBytes();
        QVERIFY(rssBefore > 0 && rssAfter > 0);
        if (rssMeaningful())
            QVERIFY2(
                rssAfter - rssBefore < 20 * 1024 * 1024,
                qPrintable(QStringLiteral("RSS %1 -> %2 kB").arg(rssBefore / 1024).arg(rssAfter / 1024)));
        else
            qInfo("RSS not checked: AddressSanitizer holds freed memory (run with "
                  "ASAN_OPTIONS=quarantine_size_mb=0 to check it)");
        // 500 lines before each block is added (a block itself may be a whole frame's dump).
        QVERIFY2(mostLines <= CommPage::kMaxMonitorLines + kLargestBlockLines,
                 qPrintable(QString::number(mostLines)));
        // The limit was reached, and the oldest lines made room.
        QVERIFY(mostLines >= CommPage::kMaxMonitorLines);
        QVERIFY(memo->toPlainText().count(QLatin1String("earlier")) < CommPage::kMaxMonitorLines - 10);

        QVERIFY(f.link().portOpen());
        QVERIFY2(refused.isEmpty(), qPrintable(refused.join('\n')));
        QVERIFY2(errors.isEmpty(), qPrintable(errors.join('\n')));
        QVERIFY(sim.running());
        qInfo(
            "%d steps, %lld requests (%d after the storm ended at %lld ms), longest gap %lld ms, RSS %lld -> "
            "%lld kB, monitor at most %d lines, L1 voltages shown: %s",
            steps, static_cast<long long>(requests.size()), int(requests.size()) - requestsAtDone,
            static_cast<long long>(doneMs), static_cast<long long>(longestGap),
            static_cast<long long>(rssBefore / 1024), static_cast<long long>(rssAfter / 1024), mostLines,
            qPrintable(voltages.mid(0, 12).join(QLatin1String(" | "))));
    }
};

QTEST_MAIN(TstHostileMeter)
#include "tst_hostile_meter.moc"
