// kvam-meter-sim: the virtual meter on a pseudo-terminal, so the tool's real serial-port path can
// be exercised end to end. It prints the slave device's path on the first line of standard output.

#include "meter/AnswerSchedule.h"
#include "meter/FaultProfile.h"
#include "meter/FirmwareVersion.h"
#include "meter/VirtualMeter.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>

#include <fcntl.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr int kExitUsage = 2;
// A request that stops arriving halfway is forgotten after this much silence.
constexpr int kPartialRequestTimeoutMs = 250;
// Output waiting for a reader is capped: nobody may be listening on the slave side.
constexpr qsizetype kMaxPendingOutput = 64 * 1024;

int g_signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char b = 1;
    // Nothing else is async-signal-safe enough to tell the event loop; a full pipe already tells it.
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &b, 1);
}

[[noreturn]] void usageError(const QString& message)
{
    std::fprintf(stderr, "kvam-meter-sim: %s\nTry 'kvam-meter-sim --help'.\n", qPrintable(message));
    std::exit(kExitUsage);
}

void setNonBlocking(int fd)
{
    const int flags = ::fcntl(fd, F_GETFL);
    ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
}

/// Serves one virtual meter on the master side of a pseudo-terminal.
class PtyServer : public QObject
{
public:
    PtyServer(int master, kvam::VirtualMeter& meter, bool pacing)
        : m_master(master), m_meter(meter), m_pacing(pacing), m_readNotifier(master, QSocketNotifier::Read),
          m_writeNotifier(master, QSocketNotifier::Write)
    {
        m_clock.start();
        m_writeNotifier.setEnabled(false);
        connect(&m_readNotifier, &QSocketNotifier::activated, this, [this] { readRequests(); });
        connect(&m_writeNotifier, &QSocketNotifier::activated, this, [this] { flushOutput(); });
        m_partialTimer.setSingleShot(true);
        connect(&m_partialTimer, &QTimer::timeout, this, [this] { m_meter.resetReceiver(); });
    }

private:
    void readRequests()
    {
        char buf[512];
        for (;;) {
            const ssize_t n = ::read(m_master, buf, sizeof buf);
            if (n > 0) {
                handleBytes(QByteArray(buf, qsizetype(n)));
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            // EAGAIN: drained. EIO cannot happen while our own slave descriptor is open, but if it
            // does, stop listening rather than spin on a hung-up line.
            if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
                std::fprintf(stderr, "kvam-meter-sim: read: %s\n", std::strerror(errno));
                m_readNotifier.setEnabled(false);
            }
            return;
        }
    }

    void handleBytes(const QByteArray& bytes)
    {
        for (const kvam::MeterAnswer& answer : m_meter.receive(bytes))
            scheduleAnswer(answer);
        if (m_meter.pendingBytes() > 0)
            m_partialTimer.start(kPartialRequestTimeoutMs);
        else
            m_partialTimer.stop();
    }

    void scheduleAnswer(const kvam::MeterAnswer& answer)
    {
        const std::vector<kvam::TimedChunk> chunks = kvam::scheduleAnswer(answer, m_pacing);
        if (chunks.empty())
            return;
        const int now = int(m_clock.elapsed());
        int start = 0;
        if (m_pacing) {
            start = std::max(now + kvam::kTurnaroundMs, m_busyUntilMs) - now;
            m_busyUntilMs = now + start + chunks.back().atMs;
        }
        for (const kvam::TimedChunk& chunk : chunks)
            QTimer::singleShot(start + chunk.atMs, this, [this, bytes = chunk.bytes] { queueOutput(bytes); });
    }

    void queueOutput(const QByteArray& bytes)
    {
        if (m_pending.size() + bytes.size() > kMaxPendingOutput)
            return; // nobody is reading; the answer is lost as it would be on a cut line
        m_pending.append(bytes);
        flushOutput();
    }

    void flushOutput()
    {
        while (!m_pending.isEmpty()) {
            const ssize_t n = ::write(m_master, m_pending.constData(), std::size_t(m_pending.size()));
            if (n > 0) {
                m_pending.remove(0, n);
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                m_writeNotifier.setEnabled(true);
                return;
            }
            std::fprintf(stderr, "kvam-meter-sim: write: %s\n", std::strerror(errno));
            m_pending.clear();
            break;
        }
        m_writeNotifier.setEnabled(false);
    }

    int m_master;
    kvam::VirtualMeter& m_meter;
    bool m_pacing;
    QSocketNotifier m_readNotifier;
    QSocketNotifier m_writeNotifier;
    QTimer m_partialTimer;
    QElapsedTimer m_clock;
    int m_busyUntilMs = 0;
    QByteArray m_pending;
};

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kvam-meter-sim"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Virtual KVAM2100 meter on a pseudo-terminal. Prints the device path on the first line of\n"
        "standard output, then answers requests until it gets SIGTERM or SIGINT."));
    const QCommandLineOption helpOption({QStringLiteral("h"), QStringLiteral("help")},
                                        QStringLiteral("Show this help and exit."));
    const QCommandLineOption versionOption(
        QStringLiteral("version"), QStringLiteral("Firmware version the meter reports (default 3.2.7)."),
        QStringLiteral("X.Y.Z"));
    const QCommandLineOption faultsOption(
        QStringLiteral("faults"),
        QStringLiteral("Fault probabilities, e.g. drop=0.1,crc=0.05,late=0.05,split=0.3,garbage=0.1."),
        QStringLiteral("LIST"));
    const QCommandLineOption seedOption(QStringLiteral("seed"), QStringLiteral("Seed of the fault dice."),
                                        QStringLiteral("N"));
    const QCommandLineOption noPacingOption(QStringLiteral("no-pacing"),
                                            QStringLiteral("Send answers at once instead of at 19200 baud."));
    const QCommandLineOption installedOption(
        QStringLiteral("installed"),
        QStringLiteral("Start with the configuration of an installation instead of the factory one."));
    parser.addOptions({helpOption, versionOption, faultsOption, seedOption, noPacingOption, installedOption});

    if (!parser.parse(QCoreApplication::arguments()))
        usageError(parser.errorText());
    if (parser.isSet(helpOption)) {
        std::fputs(qPrintable(parser.helpText()), stdout);
        return 0;
    }
    if (!parser.positionalArguments().isEmpty())
        usageError(QStringLiteral("unexpected argument \"%1\"").arg(parser.positionalArguments().first()));

    kvam::VirtualMeterConfig config;
    config.installed = parser.isSet(installedOption);
    if (parser.isSet(versionOption)) {
        const auto version = kvam::parseFirmwareVersion(parser.value(versionOption));
        if (!version)
            usageError(version.error);
        config.version = *version.value;
    }
    if (parser.isSet(faultsOption)) {
        const auto faults = kvam::parseFaultProfile(parser.value(faultsOption));
        if (!faults)
            usageError(faults.error);
        config.faults = *faults.value;
    }
    if (parser.isSet(seedOption)) {
        bool ok = false;
        config.seed = parser.value(seedOption).toUInt(&ok);
        if (!ok)
            usageError(
                QStringLiteral("seed \"%1\" is not a non-negative integer").arg(parser.value(seedOption)));
    }
    const bool pacing = !parser.isSet(noPacingOption);

    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) {
        std::fprintf(stderr, "kvam-meter-sim: cannot create a pseudo-terminal: %s\n", std::strerror(errno));
        return 1;
    }
    const char* slaveName = ::ptsname(master);
    if (!slaveName) {
        std::fprintf(stderr, "kvam-meter-sim: ptsname: %s\n", std::strerror(errno));
        return 1;
    }
    const QByteArray slavePath(slaveName);
    // Held open for the whole run: while one slave descriptor stays open the master never sees a
    // hang-up, so the tool may close and reopen the device as often as it likes.
    const int slave = ::open(slavePath.constData(), O_RDWR | O_NOCTTY);
    if (slave < 0) {
        std::fprintf(stderr, "kvam-meter-sim: cannot open %s: %s\n", slavePath.constData(),
                     std::strerror(errno));
        return 1;
    }
    termios tio{};
    if (::tcgetattr(slave, &tio) == 0) {
        ::cfmakeraw(&tio);
        ::cfsetispeed(&tio, B19200);
        ::cfsetospeed(&tio, B19200);
        ::tcsetattr(slave, TCSANOW, &tio);
    }
    setNonBlocking(master);

    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) != 0) {
        std::fprintf(stderr, "kvam-meter-sim: socketpair: %s\n", std::strerror(errno));
        return 1;
    }
    setNonBlocking(g_signalPipe[1]);
    struct sigaction sa
    {
    };
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &sa, nullptr);
    ::sigaction(SIGINT, &sa, nullptr);
    QSocketNotifier signalNotifier(g_signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, &app, [] { QCoreApplication::quit(); });

    kvam::VirtualMeter meter(config);
    PtyServer server(master, meter, pacing);

    std::printf("%s\n", slavePath.constData());
    std::fflush(stdout);

    const int rc = app.exec();
    ::close(slave);
    ::close(master);
    ::close(g_signalPipe[0]);
    ::close(g_signalPipe[1]);
    return rc;
}
