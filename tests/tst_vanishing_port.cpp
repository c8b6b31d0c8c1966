// The meter's port vanishing under the tool: kvam-meter-sim killed with SIGKILL halfway through an
// answer, with a configuration write on its way or waiting, or frozen on a port that stays. The tool
// must say so in the monitor, close the port, keep every request it still owes, stay responsive
// without spinning, and finish those requests on the port the user picks next.

#include "app/TForm1.h"
#include "link/LinkDriver.h"
#include "meter/VirtualMeter.h"
#include "protocol/Frame.h"
#include "service/CommPage.h"
#include "texts/UiTexts.h"

#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QMetaEnum>
#include <QProcess>
#include <QRegularExpression>
#include <QSerialPort>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <memory>
#include <vector>

#include <fcntl.h>
#include <pty.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

using namespace kvam;

namespace {

const QString kNoPort = QStringLiteral("Error: No communication port!");

/// kvam-meter-sim with --log-requests: its path, then its log lines as they come.
class MeterSim
{
public:
    ~MeterSim()
    {
        if (m_proc.state() != QProcess::NotRunning) {
            ::kill(pid_t(m_proc.processId()), SIGCONT); // a frozen meter must be able to die
            m_proc.kill();
            m_proc.waitForFinished(5000);
        }
    }

    QString start(const QStringList& args)
    {
        m_proc.start(QStringLiteral(KVAM_METER_SIM), QStringList{QStringLiteral("--log-requests")} + args);
        if (!m_proc.waitForStarted(5000))
            return {};
        for (int i = 0; i < 100 && !m_proc.canReadLine(); ++i)
            m_proc.waitForReadyRead(100);
        return QString::fromLocal8Bit(m_proc.readLine()).trimmed();
    }

    /// Log lines so far, without their time stamps.
    QStringList lines()
    {
        while (m_proc.canReadLine()) {
            const QString line = QString::fromLocal8Bit(m_proc.readLine()).trimmed();
            m_lines << line.left(line.lastIndexOf(QLatin1Char(' ')));
        }
        return m_lines;
    }
    bool seen(const QString& line) { return lines().contains(line); }

    void kill()
    {
        m_proc.kill();
        m_proc.waitForFinished(5000);
    }
    void freeze() { ::kill(pid_t(m_proc.processId()), SIGSTOP); }
    bool finished() const { return m_proc.state() == QProcess::NotRunning; }
    int exitSignal() const
    {
        return m_proc.exitStatus() == QProcess::CrashExit ? m_proc.exitCode() : 0; // Qt gives the signal
    }

private:
    QProcess m_proc;
    QStringList m_lines;
};

/// A line whose far end can be moved from one meter to another without the window's port closing,
/// as a cable moved between meters: a pseudo-terminal for the window, relayed to one meter's
/// pseudo-terminal at a time (or to none: the meter fell silent).
class MovableCable
{
public:
    MovableCable()
    {
        int slave = -1;
        if (::openpty(&m_master, &slave, nullptr, nullptr, nullptr) != 0)
            return;
        m_path = QString::fromLocal8Bit(::ttyname(slave));
        termios t{};
        ::tcgetattr(m_master, &t);
        ::cfmakeraw(&t);
        ::tcsetattr(m_master, TCSANOW, &t);
        m_slave = slave; // held open, so the master never sees a hang-up between openings
        m_fromWindow = std::make_unique<QSocketNotifier>(m_master, QSocketNotifier::Read);
        QObject::connect(m_fromWindow.get(), &QSocketNotifier::activated,
                         [this] { pass(m_master, m_meter); });
    }
    ~MovableCable()
    {
        plug(QString());
        m_fromWindow.reset();
        for (int fd : {m_master, m_slave})
            if (fd >= 0)
                ::close(fd);
    }
    QString path() const { return m_path; }
    /// Plugs the cable into the meter on `meterPath`; an empty path unplugs it.
    void plug(const QString& meterPath)
    {
        m_fromMeter.reset();
        if (m_meter >= 0)
            ::close(m_meter);
        m_meter = -1;
        if (meterPath.isEmpty())
            return;
        m_meter = ::open(meterPath.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        termios t{};
        ::tcgetattr(m_meter, &t);
        ::cfmakeraw(&t);
        ::tcsetattr(m_meter, TCSANOW, &t);
        m_fromMeter = std::make_unique<QSocketNotifier>(m_meter, QSocketNotifier::Read);
        QObject::connect(m_fromMeter.get(), &QSocketNotifier::activated, [this] { pass(m_meter, m_master); });
    }

private:
    static void pass(int from, int to)
    {
        char buffer[512];
        const ssize_t n = ::read(from, buffer, sizeof buffer);
        if (n > 0 && to >= 0)
            (void)!::write(to, buffer, std::size_t(n));
    }
    int m_master = -1;
    int m_slave = -1;
    int m_meter = -1;
    QString m_path;
    std::unique_ptr<QSocketNotifier> m_fromWindow;
    std::unique_ptr<QSocketNotifier> m_fromMeter;
};

QString monitorText(TForm1& f)
{
    return f.findChild<CommPage*>(QStringLiteral("TabSheet_Comm"))->monitorText();
}

/// CPU time (user + system) of this process in seconds.
double cpuSeconds()
{
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

enum class Vanish
{
    MeterDiesMidAnswer, ///< the meter sends half of the start-up RAM2 answer and dies
    MeterDiesOnWrite,   ///< the meter dies on receiving the RAM2 write
    KilledBeforeWrite,  ///< the meter is killed, then the write is asked for at once
    MeterFreezes,       ///< the meter stops (SIGSTOP) while a write is asked for; its port stays
};

} // namespace

Q_DECLARE_METATYPE(Vanish)

class TstVanishingPort : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        // The monitor's sentences are read in English below.
        kvam::setCurrentLanguage(kvam::Language::English);
    }

    /// What this system's pseudo-terminal does to QSerialPort when the master side goes away, with a
    /// request written at the moment it went. The adapter closes the port on the first read, write
    /// or resource error; this shows which of them come, and whether they would repeat.
    void hangUpAsQSerialPortSeesIt()
    {
        MeterSim sim;
        const QString path = sim.start({});
        QVERIFY2(path.startsWith(QStringLiteral("/dev/")), qPrintable(path));
        QSerialPort port(path);
        QVERIFY(port.open(QIODevice::ReadWrite));
        constexpr int kEnough = 50;
        QList<QSerialPort::SerialPortError> errors;
        QStringList seen;
        connect(&port, &QSerialPort::errorOccurred, this, [&](QSerialPort::SerialPortError e) {
            if (e == QSerialPort::NoError)
                return;
            errors << e;
            if (seen.isEmpty() || !seen.last().startsWith(QLatin1String(
                                      QMetaEnum::fromType<QSerialPort::SerialPortError>().valueToKey(e))))
                seen << QStringLiteral("%1 (%2)").arg(
                    QLatin1String(QMetaEnum::fromType<QSerialPort::SerialPortError>().valueToKey(e)),
                    port.errorString());
            port.clearError();
            if (errors.size() >= kEnough)
                port.close(); // it would go on for ever
        });
        sim.kill();
        // A request queued before any event of the hang-up is seen.
        const std::vector<std::uint8_t> request = Frame(Read_Net, {}).encode();
        port.write(reinterpret_cast<const char*>(request.data()), qint64(request.size()));
        QTest::qWait(1000);
        qInfo("QSerialPort after the hang-up: %d error(s)%s: %s", int(errors.size()),
              errors.size() >= kEnough ? " (and still coming when the port was closed)" : "",
              errors.isEmpty() ? "none" : qPrintable(seen.join(QLatin1String(", then "))));
        if (errors.isEmpty())
            QSKIP(
                "this kernel leaves a hung-up pseudo-terminal silent; a frozen meter's port is tested below");
        for (QSerialPort::SerialPortError e : errors)
            QVERIFY2(e == QSerialPort::ResourceError || e == QSerialPort::ReadError ||
                         e == QSerialPort::WriteError,
                     qPrintable(seen.join(", ")));
    }

    void vanish_data()
    {
        QTest::addColumn<Vanish>("how");
        QTest::addColumn<QStringList>("meterArgs");
        QTest::addColumn<QList<int>>("owed"); // the requests the tool must still send
        // The meter on the port the user picks next: the same one (its factory number), or another.
        QTest::addColumn<bool>("sameMeter");

        QTest::newRow("dies halfway through a RAM2 answer")
            << Vanish::MeterDiesMidAnswer << QStringList{"--installed", "--hostile", "6:half"}
            << QList<int>{Read_RAM2, Read_RAM3, Read_Version} << true;
        QTest::newRow("dies on the RAM2 write")
            << Vanish::MeterDiesOnWrite << QStringList{"--installed", "--hostile", "7:die"}
            << QList<int>{Write_RAM2, Write_RAM3} << true;
        QTest::newRow("killed with the write asked for")
            << Vanish::KilledBeforeWrite << QStringList{"--installed"} << QList<int>{Write_RAM2, Write_RAM3}
            << true;
        QTest::newRow("frozen with its port still there")
            << Vanish::MeterFreezes << QStringList{"--installed"} << QList<int>{Write_RAM2, Write_RAM3}
            << true;
        // Its records never reach another meter: the writes are dropped, and the user is told.
        QTest::newRow("killed with the write asked for, another meter on the next port")
            << Vanish::KilledBeforeWrite << QStringList{"--installed"} << QList<int>{Write_RAM2, Write_RAM3}
            << false;
        QTest::newRow("frozen with the write asked for, another meter on the next port")
            << Vanish::MeterFreezes << QStringList{"--installed"} << QList<int>{Write_RAM2, Write_RAM3}
            << false;
    }

    void vanish()
    {
        QFETCH(Vanish, how);
        QFETCH(QStringList, meterArgs);
        QFETCH(QList<int>, owed);
        QFETCH(bool, sameMeter);

        MeterSim first;
        const QString path = first.start(meterArgs); // paced at 19200 baud, as a real meter
        QVERIFY2(path.startsWith(QStringLiteral("/dev/")), qPrintable(path));

        TForm1 f;
        QStringList errors;
        f.prompts().showError = [&](const QString& t) { errors << t; };
        f.prompts().refuseDevice = [](const QString&) {};
        f.openPortByName(path);
        QVERIFY2(errors.isEmpty(), qPrintable(errors.join('\n')));

        Ram2Image packed2{};
        Ram3Image packed3{};
        const bool writes = how != Vanish::MeterDiesMidAnswer;
        if (writes) {
            QTRY_VERIFY_WITH_TIMEOUT(f.model().configWritable() && !f.engine().flag(Read_Version), 10000);
            f.evaluatePassword(52806);
            if (how == Vanish::KilledBeforeWrite) {
                first.kill();
            } else if (how == Vanish::MeterFreezes) {
                first.freeze();
            }
            f.model().WriteRamClick();
            packed2 = f.memory().ram2;
            packed3 = f.memory().ram3;
            // The installed configuration, not the factory one the next meter starts with: the
            // read-back can only match if the write really went to it.
            QVERIFY(packed2 != VirtualMeter::factoryRam2());
            QVERIFY(f.engine().flag(Write_RAM2) && f.engine().flag(Write_RAM3));
        }
        if (how == Vanish::MeterDiesMidAnswer || how == Vanish::MeterDiesOnWrite) {
            QTRY_VERIFY_WITH_TIMEOUT(first.seen(QStringLiteral("die")), 10000);
            QTRY_VERIFY_WITH_TIMEOUT(first.finished(), 5000);
            QCOMPARE(first.exitSignal(), int(SIGKILL));
        }

        if (how == Vanish::MeterFreezes) {
            // Nothing tells the tool: its requests time out, and it keeps asking who is on the line
            // before the write may go again.
            QTRY_VERIFY_WITH_TIMEOUT(monitorText(f).count(QStringLiteral("Command: \n08 02 00")) >= 2, 10000);
            QVERIFY(f.link().portOpen());
            QVERIFY(!monitorText(f).contains(kNoPort));
        } else {
            QTRY_VERIFY_WITH_TIMEOUT(monitorText(f).contains(kNoPort), 10000);
            QTRY_VERIFY_WITH_TIMEOUT(!f.link().portOpen(), 5000);
        }
        for (int code : owed)
            QVERIFY2(f.engine().flag(code), commandName(code));

        // While the port is gone: the window keeps serving its events and does not spin.
        const int reports = int(monitorText(f).count(kNoPort));
        const int sent = int(monitorText(f).count(QStringLiteral("Command:")));
        QElapsedTimer wall;
        wall.start();
        const double cpuBefore = cpuSeconds();
        qint64 firedAfterMs = -1;
        QTimer::singleShot(100, this, [&] { firedAfterMs = wall.elapsed(); });
        QTest::qWait(3000);
        const double cpuShare = (cpuSeconds() - cpuBefore) / (double(wall.elapsed()) / 1000.0);
        QVERIFY2(firedAfterMs >= 100 && firedAfterMs < 1000, qPrintable(QString::number(firedAfterMs)));
        QVERIFY2(cpuShare < 0.5, qPrintable(QString::number(cpuShare)));
        for (int code : owed)
            QVERIFY2(f.engine().flag(code), commandName(code));
        if (how != Vanish::MeterFreezes) {
            QCOMPARE(int(monitorText(f).count(kNoPort)), reports); // reported once, not on every tick
            QCOMPARE(int(monitorText(f).count(QStringLiteral("Command:"))),
                     sent); // nothing sent to a closed port
        }

        // The user picks another port. The same meter there (its factory number): everything owed
        // is done there. Another meter: the reads are, the writes are dropped.
        MeterSim second;
        QStringList secondArgs{QStringLiteral("--no-pacing")};
        if (!sameMeter)
            secondArgs << QStringLiteral("--factory-number") << QStringLiteral("222222");
        const QString newPath = second.start(secondArgs);
        QVERIFY2(newPath.startsWith(QStringLiteral("/dev/")), qPrintable(newPath));
        f.openPortByName(newPath);
        QVERIFY2(errors.isEmpty(), qPrintable(errors.join('\n')));
        QTRY_VERIFY_WITH_TIMEOUT(
            std::none_of(owed.begin(), owed.end(), [&](int c) { return f.engine().flag(c); }), 10000);
        if (writes && !sameMeter) {
            QTRY_VERIFY2_WITH_TIMEOUT(errors.size() == 2,
                                      qPrintable(monitorText(f)
                                                     .split(QLatin1Char('\n'))
                                                     .filter(QRegularExpression(QStringLiteral(
                                                         "^(0[5789]|written|Timeout|Error|RAM)")))
                                                     .join(QLatin1Char('|'))),
                                      10000);
            for (const QString& e : errors)
                QVERIFY2(e.contains(QStringLiteral("222222")) && e.contains(QStringLiteral("21001234")),
                         qPrintable(e));
            QVERIFY(
                monitorText(f).contains(QStringLiteral("not written: meter 222222 answered on the line")));
            QVERIFY(!second.seen(QStringLiteral("request 7")) && !second.seen(QStringLiteral("request 9")));
            QVERIFY(!second.seen(QStringLiteral("request 5")));
        } else if (writes) {
            // Read back from the new meter after its write.
            QTRY_VERIFY_WITH_TIMEOUT(!f.engine().flag(Read_RAM2) && !f.engine().flag(Read_RAM3), 10000);
            QVERIFY(second.seen(QStringLiteral("request 7")) && second.seen(QStringLiteral("request 9")));
            QCOMPARE(f.memory().ram2, packed2);
            QCOMPARE(f.memory().ram3, packed3);
        } else {
            QCOMPARE(f.memory().ram2, VirtualMeter::factoryRam2()); // the new meter's, whole
        }
        QVERIFY(f.link().portOpen());
        qInfo("monitor reported the loss %d time(s); timer fired after %lld ms; CPU share %.3f while the "
              "port was "
              "gone; owed requests completed on the new port",
              reports, static_cast<long long>(firedAfterMs), cpuShare);
    }

    /// The meter falls silent with a configuration write owed, and the cable is moved to another
    /// meter on the same port: the write is dropped, the user told, and the configuration page then
    /// asks the new meter for nothing more (it went on reading its RAM3 about twice a second).
    void cableMovedWithAWriteOwed_data()
    {
        QTest::addColumn<bool>("freeze"); // A stops with the request in its buffer, or is unplugged
        QTest::addColumn<bool>("fast");
        QTest::addColumn<bool>("acknowledged"); // A took and acknowledged the RAM2 write first
        QTest::newRow("unplugged") << false << false << false;
        QTest::newRow("frozen") << true << false << false;
        QTest::newRow("unplugged, fast refresh") << false << true << false;
        QTest::newRow("frozen, fast refresh") << true << true << false;
        QTest::newRow("unplugged after the RAM2 write was acknowledged") << false << false << true;
    }
    void cableMovedWithAWriteOwed()
    {
        QFETCH(bool, freeze);
        QFETCH(bool, fast);
        QFETCH(bool, acknowledged);
        MeterSim a;
        MeterSim b;
        const QString pathA = a.start(
            {QStringLiteral("--installed"), QStringLiteral("--factory-number"), QStringLiteral("111111")});
        const QString pathB = b.start({QStringLiteral("--factory-number"), QStringLiteral("222222")});
        QVERIFY2(pathA.startsWith(QStringLiteral("/dev/")) && pathB.startsWith(QStringLiteral("/dev/")),
                 qPrintable(pathA + pathB));
        MovableCable cable;
        QVERIFY(!cable.path().isEmpty());
        cable.plug(pathA);

        TForm1::Options options;
        options.review = true;
        TForm1 f(options);
        f.prompts().reviewWrite = [](const WriteProposal&) { return ReviewDecision{true, false}; };
        QStringList errors;
        f.prompts().showError = [&](const QString& t) { errors << t; };
        f.prompts().refuseDevice = [](const QString&) {};
        f.openPortByName(cable.path());
        f.link().setFastRefresh(fast);
        QTRY_VERIFY_WITH_TIMEOUT(f.model().configWritable() && !f.engine().flag(Read_Version), 10000);
        f.evaluatePassword(52806);
        f.findChild<QTabWidget*>(QStringLiteral("CoolPageControl1"))
            ->setCurrentWidget(f.findChild<QWidget*>(QStringLiteral("TabSheet_Config")));
        QTRY_VERIFY_WITH_TIMEOUT(!f.engine().flag(Read_RAM2) && !f.engine().flag(Read_RAM3), 5000);

        auto* zajzar = f.findChild<QDoubleSpinBox*>(QStringLiteral("Zajzar"));
        QVERIFY(zajzar);
        zajzar->setValue(zajzar->value() + zajzar->singleStep());
        if (acknowledged) {
            QVERIFY(f.model().WriteRamClick());
            QTRY_VERIFY_WITH_TIMEOUT(a.seen(QStringLiteral("request 7")), 5000);
            cable.plug(QString());
        } else {
            if (freeze)
                a.freeze();
            else
                cable.plug(QString());
            QVERIFY(f.model().WriteRamClick());
        }
        QTest::qWait(1500);
        cable.plug(pathB);
        QTRY_VERIFY2_WITH_TIMEOUT(!f.engine().flag(Write_RAM2) && !f.engine().flag(Write_RAM3),
                                  qPrintable(errors.join('\n')), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(errors.size() == 2, 5000); // RAM2 and RAM3 of meter 111111 dropped
        for (const QString& e : errors)
            QVERIFY2(e.contains(QStringLiteral("111111")) && e.contains(QStringLiteral("222222")),
                     qPrintable(e));
        QVERIFY(!b.seen(QStringLiteral("request 7")) && !b.seen(QStringLiteral("request 9")));
        QTest::qWait(1000);
        const auto ram3Reads = [&] { return int(b.lines().count(QStringLiteral("request 8"))); };
        const int before = ram3Reads();
        QTest::qWait(3000);
        QVERIFY2(ram3Reads() == before, qPrintable(QStringLiteral("%1 RAM3 reads in 3 s; errors: %2")
                                                       .arg(ram3Reads() - before)
                                                       .arg(errors.join(QLatin1Char('|')))));
    }
};

QTEST_MAIN(TstVanishingPort)
#include "tst_vanishing_port.moc"
