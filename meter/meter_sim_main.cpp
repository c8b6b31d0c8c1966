// kvam-meter-sim: the virtual meter on a pseudo-terminal, so the tool's real serial-port path can
// be exercised end to end. It prints the slave device's path on the first line of standard output.

#include "meter/AnswerSchedule.h"
#include "meter/FaultProfile.h"
#include "meter/FieldClamp.h"
#include "meter/FirmwareVersion.h"
#include "meter/HostileMeter.h"
#include "meter/VirtualMeter.h"
#include "platform/SerialPort.h"

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
#include <functional>
#include <memory>

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
// Noise is made in pieces of this size whenever the line has taken the last one.
constexpr qsizetype kNoiseChunkBytes = 4096;
// A meter that dies after an answer waits this long first, so the reader has taken the bytes.
constexpr int kDieDelayMs = 50;

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
    PtyServer(int master, kvam::VirtualMeter& meter, bool pacing, kvam::HostileMeter* hostile,
              bool logRequests)
        : m_master(master), m_meter(meter), m_pacing(pacing), m_hostile(hostile), m_logRequests(logRequests),
          m_readNotifier(master, QSocketNotifier::Read), m_writeNotifier(master, QSocketNotifier::Write)
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
        for (const kvam::MeterAnswer& answer : m_meter.receive(bytes)) {
            log(QStringLiteral("request %1").arg(answer.code));
            const std::optional<kvam::HostileAnswer> hostile =
                m_hostile ? m_hostile->replace(answer) : std::nullopt;
            if (hostile)
                scheduleHostile(*hostile);
            else
                scheduleAnswer(answer);
        }
        if (m_meter.pendingBytes() > 0)
            m_partialTimer.start(kPartialRequestTimeoutMs);
        else
            m_partialTimer.stop();
    }

    /// One line on standard output with the milliseconds since start, when asked for.
    void log(const QString& what)
    {
        if (!m_logRequests)
            return;
        std::printf("%s %lld\n", qPrintable(what), static_cast<long long>(m_clock.elapsed()));
        std::fflush(stdout);
    }

    void scheduleHostile(const kvam::HostileAnswer& hostile)
    {
        log(QStringLiteral("step %1").arg(m_hostile->stepsDone()));
        const bool last = m_hostile->done();
        const auto after = [this, hostile, last] {
            if (hostile.noiseBytes > 0) {
                m_noiseLeft += hostile.noiseBytes;
                m_noiseTotal += hostile.noiseBytes;
                flushOutput();
            }
            if (hostile.dieAfterSent)
                m_dieWhenFlushed = true;
            if (last)
                m_scriptDoneWhenFlushed = true;
            checkFlushed();
        };
        if (!scheduleAnswer(hostile.answer, after))
            after();
    }

    /// Queues the answer's chunks at their times; `then` runs after the last one. False when the
    /// answer holds no bytes (nothing is scheduled then).
    bool scheduleAnswer(const kvam::MeterAnswer& answer, std::function<void()> then = {})
    {
        const std::vector<kvam::TimedChunk> chunks = kvam::scheduleAnswer(answer, m_pacing);
        if (chunks.empty())
            return false;
        const int now = int(m_clock.elapsed());
        int start = 0;
        if (m_pacing) {
            start = std::max(now + kvam::kTurnaroundMs, m_busyUntilMs) - now;
            m_busyUntilMs = now + start + chunks.back().atMs;
        }
        for (std::size_t i = 0; i < chunks.size(); ++i) {
            std::function<void()> next = i + 1 == chunks.size() ? then : std::function<void()>();
            QTimer::singleShot(start + chunks[i].atMs, this, [this, bytes = chunks[i].bytes, next] {
                queueOutput(bytes);
                if (next)
                    next();
            });
        }
        return true;
    }

    /// Runs what waits for the line to have taken everything: the end of the script, the death.
    void checkFlushed()
    {
        if (!m_pending.isEmpty() || m_noiseLeft > 0)
            return;
        if (m_scriptDoneWhenFlushed) {
            m_scriptDoneWhenFlushed = false;
            log(QStringLiteral("script-done noise %1").arg(m_noiseTotal));
        }
        if (m_dieWhenFlushed) {
            m_dieWhenFlushed = false;
            log(QStringLiteral("die"));
            // SIGKILL: no clean-up, the pseudo-terminal vanishes under the reader as with a pulled cable.
            QTimer::singleShot(kDieDelayMs, [] { ::raise(SIGKILL); });
        }
    }

    void queueOutput(const QByteArray& bytes)
    {
        // Nobody is reading: the answer is lost as it would be on a cut line. One answer alone is
        // always taken whole, however long a hostile script makes it.
        if (!m_pending.isEmpty() && m_pending.size() + bytes.size() > kMaxPendingOutput)
            return;
        m_pending.append(bytes);
        flushOutput();
    }

    void flushOutput()
    {
        for (;;) {
            if (m_pending.isEmpty() && m_noiseLeft > 0) {
                const qsizetype n = std::min(m_noiseLeft, kNoiseChunkBytes);
                m_pending = m_hostile->noise(n);
                m_noiseLeft -= n;
            }
            if (m_pending.isEmpty())
                break;
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
            m_noiseLeft = 0;
            break;
        }
        m_writeNotifier.setEnabled(false);
        checkFlushed();
    }

    int m_master;
    kvam::VirtualMeter& m_meter;
    bool m_pacing;
    kvam::HostileMeter* m_hostile;
    bool m_logRequests;
    QSocketNotifier m_readNotifier;
    QSocketNotifier m_writeNotifier;
    QTimer m_partialTimer;
    QElapsedTimer m_clock;
    int m_busyUntilMs = 0;
    QByteArray m_pending;
    qsizetype m_noiseLeft = 0;
    qsizetype m_noiseTotal = 0;
    bool m_dieWhenFlushed = false;
    bool m_scriptDoneWhenFlushed = false;
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
        QStringLiteral("Fault probabilities, e.g. drop=0.1,crc=0.05,late=0.05,split=0.3,garbage=0.1;\n"
                       "latewrite=P holds back acknowledgements of RAM writes as well."),
        QStringLiteral("LIST"));
    const QCommandLineOption seedOption(QStringLiteral("seed"), QStringLiteral("Seed of the fault dice."),
                                        QStringLiteral("N"));
    const QCommandLineOption noPacingOption(QStringLiteral("no-pacing"),
                                            QStringLiteral("Send answers at once instead of at 19200 baud."));
    const QCommandLineOption installedOption(
        QStringLiteral("installed"),
        QStringLiteral("Start with the configuration of an installation instead of the factory one."));
    const QCommandLineOption clampOption(
        QStringLiteral("clamp"),
        QStringLiteral("Cap a memory field when a write stores it, as a meter that limits it would: the\n"
                       "write is acknowledged, but the element keeps min(value, MAX). RECORD is RAM1,\n"
                       "RAM2 or RAM3, FIELD as the record table names it, [K] one element (all without\n"
                       "it), MAX in the field's units; e.g. RAM2.Ratio[1]=70. May be given again."),
        QStringLiteral("RECORD.FIELD[K]=MAX"));
    const QCommandLineOption hostileOption(
        QStringLiteral("hostile"),
        QStringLiteral("Answer the next requests as a broken meter, one step each, then normally again.\n"
                       "Steps, comma-separated, each optionally prefixed by CODE: to wait for that request:\n"
                       "len=N (a header with length field N only), frame=N (header and the N + 1 bytes it\n"
                       "announces, good CRC), N being 0..65535, rec, rec-K or rec+K (the right length\n"
                       "field plus or minus K); code=C (the right record under code C); float=V (a\n"
                       "measurement record with V in every float, e.g. nan, inf, -inf, 1e38); date=HEX (a\n"
                       "version record with that date field); version=garbage (major 3, random otherwise);\n"
                       "noise=N (N random bytes at full speed); half (half the answer, then SIGKILL);\n"
                       "die (SIGKILL on the request); silence; good."),
        QStringLiteral("SCRIPT"));
    const QCommandLineOption reverseCtOption(
        QStringLiteral("reverse-ct"),
        QStringLiteral("Measure as a meter whose current transformer of phase N (1..3) is connected the\n"
                       "wrong way round: that phase's current, power and energy come out reversed."),
        QStringLiteral("N"));
    const QCommandLineOption factoryNumberOption(
        QStringLiteral("factory-number"),
        QStringLiteral("The meter's factory number (Gyartasiszam, default 21001234)."), QStringLiteral("N"));
    const QCommandLineOption logRequestsOption(
        QStringLiteral("log-requests"),
        QStringLiteral(
            "After the path, print \"request CODE MS\" for every request answered, and the\n"
            "hostile script's progress (\"step N MS\", \"script-done noise BYTES MS\", \"die MS\")."));
    parser.addOptions({helpOption, versionOption, faultsOption, seedOption, noPacingOption, installedOption,
                       clampOption, hostileOption, logRequestsOption});
    parser.addOption(factoryNumberOption);
    parser.addOption(reverseCtOption);

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
    for (const QString& text : parser.values(clampOption)) {
        const auto clamp = kvam::parseFieldClamp(text);
        if (!clamp)
            usageError(clamp.error);
        config.clamps.push_back(*clamp.value);
    }
    if (parser.isSet(seedOption)) {
        bool ok = false;
        config.seed = parser.value(seedOption).toUInt(&ok);
        if (!ok)
            usageError(
                QStringLiteral("seed \"%1\" is not a non-negative integer").arg(parser.value(seedOption)));
    }
    if (parser.isSet(factoryNumberOption)) {
        bool ok = false;
        config.factoryNumber = parser.value(factoryNumberOption).toUInt(&ok);
        if (!ok)
            usageError(QStringLiteral("factory number \"%1\" is not a 32-bit unsigned integer")
                           .arg(parser.value(factoryNumberOption)));
    }
    if (parser.isSet(reverseCtOption)) {
        bool ok = false;
        config.reversedCt = parser.value(reverseCtOption).toInt(&ok);
        if (!ok || config.reversedCt < 1 || config.reversedCt > 3)
            usageError(QStringLiteral("phase \"%1\" is not 1, 2 or 3").arg(parser.value(reverseCtOption)));
    }
    const bool pacing = !parser.isSet(noPacingOption);
    std::unique_ptr<kvam::HostileMeter> hostile;
    if (parser.isSet(hostileOption)) {
        const auto steps = kvam::parseHostileScript(parser.value(hostileOption));
        if (!steps)
            usageError(steps.error);
        kvam::VersionRecord version;
        set(version, kvam::version::ProgramversionMajor, config.version.major);
        set(version, kvam::version::ProgramversionMinor, config.version.minor);
        set(version, kvam::version::ProgramversionBuild, config.version.build);
        const QByteArray date = config.firmwareDate.left(qsizetype(kvam::version::Programdate.count));
        std::memcpy(version.data() + kvam::version::Programdate.offset, date.constData(),
                    std::size_t(date.size()));
        set(version, kvam::version::Gyartaseve, config.factoryYear);
        set(version, kvam::version::Gyartashonapja, config.factoryMonth);
        set(version, kvam::version::Gyartasiszam, config.factoryNumber);
        hostile = std::make_unique<kvam::HostileMeter>(*steps.value, version, config.seed);
    }

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
        // termios names its speeds by constant; this one must be the meter's line speed.
        static_assert(kvam::kLineBaud == 19200);
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
    PtyServer server(master, meter, pacing, hostile.get(), parser.isSet(logRequestsOption));

    std::printf("%s\n", slavePath.constData());
    std::fflush(stdout);

    const int rc = app.exec();
    ::close(slave);
    ::close(master);
    ::close(g_signalPipe[0]);
    ::close(g_signalPipe[1]);
    return rc;
}
