// The paced virtual meter (kvam-meter-sim at 19200 baud on a pseudo-terminal) reached directly and
// through ser2net on loopback, raw (tcp://) and with RFC 2217 (rfc2217://): the wall time of
// `kvam2100-cli read` and its ratio to the direct line, the window's fast refresh in measurement
// refreshes a second, and, after ser2net is stopped by its PID and started again, the time from the
// server listening again to the window's first good answer. ser2net's configuration is written at
// run time; one simulator stands behind each way in, so no two clients share a line.
// Prints a table with each figure's target; exit code 1 when a run failed or a target was missed.
//
//   bench_network [--rounds N] [--seconds S] [--restarts N]
//
// Defaults: 7 runs of `read` a way (the median is judged), 30 s of fast refresh a way (after 3 s of
// start-up), 6 restarts of ser2net (the gap between stop and start cycling 0, 0.5 and 1 s; both
// network ways are timed at each). ser2net must be installed (on PATH or in /usr/sbin).

#include "app/TForm1.h"
#include "device/DeviceModel.h"
#include "link/LinkDriver.h"
#include "protocol/Commands.h"
#include "tests/MeterSim.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QHostAddress>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include <csignal>
#include <sys/types.h>

using namespace kvam;

namespace {

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

/// Runs the event loop for `ms`.
void pause(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

/// Runs the event loop until `done` holds or `ms` have passed, looking every 2 ms; returns `done()`.
bool waitFor(const std::function<bool()>& done, int ms)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms)
            return false;
        pause(2);
    }
    return true;
}

/// A loopback TCP port nobody listens on just now.
quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

/// Whether something listens on 127.0.0.1:`port` (the kernel's own table: asking by connecting
/// would take ser2net's one connection).
bool listening(quint16 port)
{
    QFile table(QStringLiteral("/proc/net/tcp"));
    if (!table.open(QIODevice::ReadOnly))
        return false;
    const QByteArray local =
        QByteArray("0100007F:") + QByteArray::number(port, 16).toUpper().rightJustified(4, '0');
    table.readLine(); // the header
    for (QByteArray line = table.readLine(); !line.isEmpty(); line = table.readLine()) {
        const QList<QByteArray> f = line.simplified().split(' ');
        if (f.size() > 3 && f[1] == local && f[3] == "0A")
            return true;
    }
    return false;
}

/// ser2net in the foreground with a configuration of our own, stopped by its PID.
class Ser2net
{
public:
    struct Way
    {
        bool rfc2217;
        quint16 port;
        QString device;
    };

    Ser2net(const QString& dir, std::vector<Way> ways) : m_dir(dir), m_ways(std::move(ways))
    {
        QFile config(m_dir + QStringLiteral("/ser2net.yaml"));
        config.open(QIODevice::WriteOnly | QIODevice::Truncate);
        QByteArray text = "%YAML 1.1\n---\n";
        int n = 0;
        for (const Way& w : m_ways)
            text += QStringLiteral("connection: &way%1\n"
                                   "  accepter: %2tcp,127.0.0.1,%3\n"
                                   "  connector: serialdev,%4,19200n81,local\n"
                                   "  options:\n"
                                   "    mdns: false\n")
                        .arg(n++)
                        .arg(QLatin1String(w.rfc2217 ? "telnet(rfc2217)," : ""))
                        .arg(w.port)
                        .arg(w.device)
                        .toUtf8();
        config.write(text);
    }
    ~Ser2net() { stop(); }

    /// Starts ser2net and waits until every port listens. False when it did not.
    bool start()
    {
        QString program = QStandardPaths::findExecutable(QStringLiteral("ser2net"));
        if (program.isEmpty())
            program = QStandardPaths::findExecutable(
                QStringLiteral("ser2net"), {QStringLiteral("/usr/sbin"), QStringLiteral("/usr/local/sbin")});
        if (program.isEmpty())
            return false;
        // What it says (without a multicast DNS daemon, that it cannot start one) is shown only
        // when it does not start.
        m_process.setStandardOutputFile(log(), QIODevice::Append);
        m_process.setStandardErrorFile(log(), QIODevice::Append);
        m_process.start(program, {QStringLiteral("-n"), QStringLiteral("-u"), QStringLiteral("-c"),
                                  m_dir + QStringLiteral("/ser2net.yaml"), QStringLiteral("-P"),
                                  m_dir + QStringLiteral("/ser2net.pid")});
        const bool up = m_process.waitForStarted(5000) &&
                        waitFor([&] { return m_process.state() == QProcess::Running && back(); }, 5000);
        if (!up) {
            QFile said(log());
            said.open(QIODevice::ReadOnly);
            std::fprintf(stderr, "ser2net: %s\n", said.readAll().constData());
        }
        return up;
    }

    /// Stops it by its PID (SIGTERM; SIGKILL when it has not ended within 5 s).
    void stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        const auto pid = pid_t(m_process.processId());
        ::kill(pid, SIGTERM);
        if (!m_process.waitForFinished(5000)) {
            ::kill(pid, SIGKILL);
            m_process.waitForFinished(5000);
        }
    }

    /// Whether every port listens again.
    bool back() const
    {
        return std::all_of(m_ways.begin(), m_ways.end(), [](const Way& w) { return listening(w.port); });
    }

private:
    QString log() const { return m_dir + QStringLiteral("/ser2net.log"); }

    QString m_dir;
    std::vector<Way> m_ways;
    QProcess m_process;
};

struct Timed
{
    double seconds = 0;
    int status = -1;
};

Timed runCli(const QStringList& args)
{
    QProcess p;
    QElapsedTimer t;
    t.start();
    p.start(QStringLiteral(KVAM_CLI), args);
    p.waitForFinished(60000);
    Timed r;
    r.seconds = double(t.elapsed()) / 1000;
    r.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    return r;
}

/// The window on the measurement page with the fast refresh, as bench_fast_refresh has it, on
/// `port`; counts measurement records and time-outs while `measuring`, and good answers always.
struct Window
{
    explicit Window(const QString& port)
    {
        form.show();
        form.activatePage(QStringLiteral("TabSheet_Meres"));
        form.findChild<QCheckBox*>(QStringLiteral("FastRefresh"))->setChecked(true);
        QObject::connect(&form.model(), &DeviceModel::netChanged, &form, [this] { refreshes += measuring; });
        QObject::connect(&form.link(), &LinkDriver::monitorText, &form, [this](const QString& text) {
            timeouts += measuring && text == QLatin1String("Timeout");
        });
        QObject::connect(&form.link(), &LinkDriver::portStatusChanged, &form,
                         [this] { lost = lost || form.link().portStatus() == PortStatus::Reconnecting; });
        form.openPortByName(port);
    }
    std::uint64_t answers() { return form.engine().lineStats().totals().answers; }

    TForm1 form;
    bool measuring = false;
    int refreshes = 0;
    int timeouts = 0;
    bool lost = false; ///< the connection was seen lost
};

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QStandardPaths::setTestModeEnabled(true);
    QApplication app(argc, argv);
    int rounds = 7;
    double seconds = 30;
    int restarts = 6;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--rounds") == 0)
            rounds = std::max(1, std::atoi(argv[++i]));
        else if (std::strcmp(argv[i], "--seconds") == 0)
            seconds = std::max(1.0, std::atof(argv[++i]));
        else if (std::strcmp(argv[i], "--restarts") == 0)
            restarts = std::max(1, std::atoi(argv[++i]));
    }

    // One simulator a way in: direct, raw TCP, RFC 2217.
    struct Sim : QProcess
    {
        ~Sim() override { kvam::test::stopMeter(*this); }
    };
    std::vector<std::unique_ptr<Sim>> sims;
    QStringList devices;
    for (int i = 0; i < 3; ++i) {
        sims.push_back(std::make_unique<Sim>());
        devices << kvam::test::startMeter(*sims.back(), {QStringLiteral("--installed")});
        if (devices.last().isEmpty()) {
            std::fprintf(stderr, "bench_network: kvam-meter-sim did not start\n");
            return 1;
        }
    }
    QTemporaryDir dir;
    const quint16 rawPort = freePort();
    quint16 telnetPort = freePort();
    while (telnetPort == rawPort)
        telnetPort = freePort();
    Ser2net server(dir.path(), {{false, rawPort, devices[1]}, {true, telnetPort, devices[2]}});
    if (!server.start()) {
        std::fprintf(stderr, "bench_network: ser2net did not start (is it installed?)\n");
        return 1;
    }
    const char* const kWays[] = {"direct", "tcp://", "rfc2217://"};
    const QString names[] = {devices[0], QStringLiteral("tcp://127.0.0.1:%1").arg(rawPort),
                             QStringLiteral("rfc2217://127.0.0.1:%1").arg(telnetPort)};
    bool failed = false;

    // kvam2100-cli read, a way at a time, the ways taking turns.
    const QStringList history{QStringLiteral("--history"), dir.filePath(QStringLiteral("history"))};
    std::vector<double> reads[3];
    for (int r = 0; r < rounds; ++r) {
        for (int w = 0; w < 3; ++w) {
            const Timed x =
                runCli(QStringList{QStringLiteral("read"), QStringLiteral("-p"), names[w]} + history);
            if (x.status != 0) {
                failed = true;
                std::fprintf(stderr, "bench_network: read over %s ended with %d\n", kWays[w], x.status);
            }
            reads[w].push_back(x.seconds);
        }
    }
    double read[3];
    for (int w = 0; w < 3; ++w)
        read[w] = median(reads[w]);

    // The fast refresh, a way at a time.
    double rate[3];
    int timeouts[3];
    for (int w = 0; w < 3; ++w) {
        Window window(names[w]);
        pause(3000);
        window.measuring = true;
        const std::uint64_t requestsBefore = window.form.engine().lineStats().totals().requests;
        QElapsedTimer clock;
        clock.start();
        pause(int(seconds * 1000));
        const double wall = double(clock.elapsed()) / 1000;
        rate[w] = window.refreshes / wall;
        timeouts[w] = window.timeouts;
        // Where the time goes: the exchanges a second, and the answer times from the request
        // having left the line to the whole answer.
        const LineStats& stats = window.form.engine().lineStats();
        QStringList times;
        for (int k = 1; k <= kCommandCount; ++k) {
            const AnswerTimes& a = stats.command(k).times;
            if (a.count() > 0)
                times << QStringLiteral("%1 %2")
                             .arg(QLatin1String(commandName(k)))
                             .arg(double(a.median()) / 1000, 0, 'f', 1);
        }
        std::printf("fast refresh over %s: %.2f requests a second; median answer times in ms: %s\n", kWays[w],
                    double(stats.totals().requests - requestsBefore) / wall,
                    qPrintable(times.join(QStringLiteral(", "))));
    }

    // ser2net restarted under both network ways: from listening again to the first good answer.
    std::vector<double> back[2];
    int notLost = 0;
    {
        Window raw(names[1]);
        Window telnet(names[2]);
        Window* windows[] = {&raw, &telnet};
        if (!waitFor([&] { return raw.answers() > 0 && telnet.answers() > 0; }, 10000)) {
            std::fprintf(stderr, "bench_network: no answer over the network within 10 s\n");
            return 1;
        }
        const int gaps[] = {0, 500, 1000};
        for (int r = 0; r < restarts; ++r) {
            // A connection of more than 5 s: the reconnection starts at its first, shortest wait.
            pause(6000);
            for (Window* w : windows)
                w->lost = false;
            server.stop();
            pause(gaps[r % 3]);
            if (!server.start()) {
                std::fprintf(stderr, "bench_network: ser2net did not start again\n");
                return 1;
            }
            QElapsedTimer since;
            since.start();
            std::uint64_t before[2] = {raw.answers(), telnet.answers()};
            double took[2] = {-1, -1};
            waitFor(
                [&] {
                    for (int k = 0; k < 2; ++k)
                        if (took[k] < 0 && windows[k]->answers() > before[k])
                            took[k] = double(since.elapsed()) / 1000;
                    return took[0] >= 0 && took[1] >= 0;
                },
                15000);
            for (int k = 0; k < 2; ++k) {
                notLost += !windows[k]->lost;
                // Not answered within 15 s: counted at 15 s, so the target is missed.
                back[k].push_back(took[k] < 0 ? 15 : took[k]);
            }
            std::printf("restart %d (%d ms stopped): first good answer after %.3f s over tcp://, %.3f s over "
                        "rfc2217://\n",
                        r + 1, gaps[r % 3], back[0].back(), back[1].back());
        }
    }
    if (notLost > 0) {
        failed = true;
        std::fprintf(stderr, "bench_network: %d restarts went unnoticed by a window\n", notLost);
    }

    struct Line
    {
        QString what;
        double value;
        const char* unit;
        double target;
        bool atMost;
    };
    std::vector<Line> table;
    for (int w = 0; w < 3; ++w)
        table.push_back({QStringLiteral("read, %1").arg(QLatin1String(kWays[w])), read[w], "s", 0, true});
    for (int w = 1; w < 3; ++w)
        table.push_back({QStringLiteral("read, %1 / direct").arg(QLatin1String(kWays[w])), read[w] / read[0],
                         "x", 1.15, true});
    for (int w = 0; w < 3; ++w)
        table.push_back(
            {QStringLiteral("fast refresh, %1").arg(QLatin1String(kWays[w])), rate[w], "/s", 3.4, false});
    for (int k = 0; k < 2; ++k) {
        table.push_back({QStringLiteral("restart to answer, %1 (median)").arg(QLatin1String(kWays[k + 1])),
                         median(back[k]), "s", 0, true});
        table.push_back({QStringLiteral("restart to answer, %1 (most)").arg(QLatin1String(kWays[k + 1])),
                         *std::max_element(back[k].begin(), back[k].end()), "s", 2.0, true});
    }
    std::printf("| %-38s | %9s | %-12s |\n|%s|%s|%s|\n", "measured", "value", "target",
                "----------------------------------------", "-----------", "--------------");
    for (const Line& l : table) {
        const bool judged = l.target > 0;
        const bool met = !judged || (l.atMost ? l.value <= l.target : l.value >= l.target);
        failed = failed || !met;
        if (judged)
            std::printf("| %-38s | %6.3f %-2s | %s %6.3f %-2s%s |\n", qPrintable(l.what), l.value, l.unit,
                        l.atMost ? "<=" : ">=", l.target, l.unit, met ? "" : " MISSED");
        else
            std::printf("| %-38s | %6.3f %-2s | %-12s |\n", qPrintable(l.what), l.value, l.unit, "");
    }
    for (int w = 0; w < 3; ++w) {
        failed = failed || timeouts[w] > 0;
        std::printf("%s: %d time-outs during the fast refresh (0)\n", kWays[w], timeouts[w]);
    }
    std::printf("(read: median of %d runs; fast refresh: %.0f s a way; %d restarts)\n", rounds, seconds,
                restarts);
    return failed ? 1 : 0;
}
