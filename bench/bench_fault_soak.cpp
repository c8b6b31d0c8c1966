// The whole window against two in-process meters on a bad line: answers dropped, broken, late (write
// acknowledgements a quarter of the time), split and preceded by stray bytes, while a scripted user
// (seeded, so a run can be repeated) changes pages, edits and writes the configuration, presses the
// calibration buttons, tests the outputs, clears the energy counters, sends the service codes,
// saves and loads the settings, moves the cable to the other meter and picks the other port.
//
//   bench_fault_soak [--seconds S] [--seed N] [--settle S] [--paced] [--verbose] [--lines A,B]
//
// Defaults: 75 s of user actions, seed 1, unpaced meters, at most 60 s to settle at the end with
// the faults switched off, lines serial,tcp. The meters: A (factory number 21001234, as installed)
// on the first line, B (21005678, as it leaves the factory) on the second. A line is `serial` (the
// port "DEMO" or "DEMO2" on the cable itself) or reached over the network through a device server
// in the soak, on loopback: `tcp` (port tcp://127.0.0.1:P, raw) or `rfc2217` (rfc2217://127.0.0.1:P,
// Telnet with the COM Port Control Option). The server takes one connection at a time and reaches
// the cable's meter through a port of its own; it cuts the connection at random moments (at most
// 12 s after it was made, and often just after a write was committed, so that the write is owed),
// now and then moving the cable behind it to the other meter before the window reconnects. The
// window's network port reconnects by itself. A caps a current ratio (Ratio[1] at 70)
// and a threshold (DoutHighLimit[1] at 500), so some writes are stored otherwise than written.
// Moving a cable pulls it from the open port's meter and, after a silence long enough for
// time-outs, plugs it into the other one; the port keeps its name. Every write is reviewed as by a
// user who never copies one meter's records to another: a proposal with another meter's records is
// declined, any other written (no backups are kept).
// Checked all along:
//   - every RAM2 / RAM3 write that goes out carries the image as the user last committed it (by
//     the write button, a calibration button or a settings load followed by a write);
//   - no write is flagged while its image holds no record;
//   - a RAM1 / RAM2 / RAM3 write reaches no meter other than the one identified on the line when
//     its image was committed, nor one the image does not belong to (writes to the wrong meter);
//   - a write the meter clamped ends with a "Differs" outcome naming every clamped element
//     (unreported differences); an outcome of "Verified" or "Differs" describes what the meter
//     then holds;
//   - a committed write either reaches its meter or ends with an outcome, unless a newer press or
//     a settings load replaced it while it was still owed (lost writes; also judged at the end);
//   - the monitor never holds 500 lines or more before a block is added.
// Checked whenever the one-shot requests have all been answered (checkpoints, and at the end):
//   - each meter's RAM2 and RAM3 equal the last committed image that reached it, as that meter
//     stores it (clamped), or the defaults a service code restored after it;
//   - the window's images equal the records of the meter on the line where both belong to it,
//     unless they hold what the user loaded or packed and was not written (a settings section
//     whose write was not taken, a write dropped for another meter): no read replaces that until
//     the user reads or writes again;
//   - the last output test byte, analog calibration code and test value that reached a meter are
//     the window's last.
// Checked at every checkpoint and at the end, exactly: the engine's line statistics against the
// monitor (requests, frames, CRC errors, short answers, time-outs) and the ports (requests written,
// bytes delivered); every received byte in a frame, dropped or held; every request ended or
// awaited; no meter taking more requests of a command than were sent, and no more good answers
// than the meters sent whole.
// Exit code 1 when any check failed or a one-shot request was still unanswered after the settle.

#include "app/TForm1.h"
#include "config/ConfigFiles.h"
#include "config/ConfigPage.h"
#include "config/FactoryPage.h"
#include "config/TSectionForm.h"
#include "device/FieldTable.h"
#include "device/WriteHistory.h"
#include "link/LinkDriver.h"
#include "meter/FieldClamp.h"
#include "meter/VirtualMeterPort.h"
#include "platform/NetworkPort.h"
#include "platform/NumericSpin.h"
#include "protocol/Commands.h"
#include "protocol/Frame.h"
#include "protocol/ServiceCodes.h"
#include "records/RecordDiff.h"
#include "records/Records.h"
#include "service/CalibPage.h"
#include "service/CommPage.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <random>
#include <span>
#include <utility>
#include <vector>

using namespace kvam;

namespace {

/// How the window reaches a meter's cable.
enum class LineKind
{
    Serial,
    Tcp,
    Rfc2217
};

const char* lineKindName(LineKind k)
{
    return k == LineKind::Serial ? "serial" : k == LineKind::Tcp ? "tcp" : "rfc2217";
}

struct Options
{
    double seconds = 75;
    double settle = 60;
    unsigned seed = 1;
    bool paced = false;
    bool verbose = false;
    std::array<LineKind, 2> lines{LineKind::Serial, LineKind::Tcp};
};

std::optional<LineKind> lineKind(const QString& name)
{
    for (LineKind k : {LineKind::Serial, LineKind::Tcp, LineKind::Rfc2217})
        if (name == QLatin1String(lineKindName(k)))
            return k;
    return std::nullopt;
}

std::optional<Options> parse(int argc, char** argv)
{
    Options o;
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        if (std::strcmp(a, "--paced") == 0 || std::strcmp(a, "--verbose") == 0) {
            (a[2] == 'p' ? o.paced : o.verbose) = true;
            continue;
        }
        if (i + 1 >= argc)
            return std::nullopt;
        if (std::strcmp(a, "--lines") == 0) {
            const QStringList kinds = QString::fromLocal8Bit(argv[++i]).split(QLatin1Char(','));
            if (kinds.size() != 2)
                return std::nullopt;
            for (std::size_t k = 0; k < 2; ++k) {
                const std::optional<LineKind> kind = lineKind(kinds[qsizetype(k)]);
                if (!kind)
                    return std::nullopt;
                o.lines[k] = *kind;
            }
            continue;
        }
        char* end = nullptr;
        const double x = std::strtod(argv[++i], &end);
        if (end == argv[i] || *end != '\0' || x < 0)
            return std::nullopt;
        if (std::strcmp(a, "--seconds") == 0)
            o.seconds = x;
        else if (std::strcmp(a, "--settle") == 0)
            o.settle = x;
        else if (std::strcmp(a, "--seed") == 0)
            o.seed = static_cast<unsigned>(x);
        else
            return std::nullopt;
    }
    if (o.seconds <= 0 || o.settle <= 0)
        return std::nullopt;
    return o;
}

/// The request flags that their answer clears, whatever the page.
constexpr int kOneShot[] = {Write_RAM1,   Read_RAM2,     Write_RAM2,   Read_RAM3,   Write_RAM3,
                            Write_Digout, Write_DAcalib, Write_DAtest, Read_Version};
/// Writes counted when their answer clears the flag.
constexpr int kWrites[] = {Write_RAM1, Write_RAM2, Write_RAM3, Write_Digout, Write_DAcalib, Write_DAtest};

const char* const kPages[] = {
    "TabSheet_Calib",     "TabSheet_FactorySettings", "TabSheet_Config", "TabSheet_Meres",
    "TabSheet_Harmonics", "TabSheet_Phasor",          "TabSheet_Errors", "TabSheet_Comm"};

/// The write command of a memory record, and back (none for other commands).
int writeCodeOf(MemoryRecord r)
{
    return r == MemoryRecord::Ram1 ? Write_RAM1 : r == MemoryRecord::Ram2 ? Write_RAM2 : Write_RAM3;
}
std::optional<MemoryRecord> recordWritten(int code)
{
    for (MemoryRecord r : kAllMemoryRecords)
        if (writeCodeOf(r) == code)
            return r;
    return std::nullopt;
}
std::size_t slot(MemoryRecord r)
{
    return std::size_t(r);
}

using Bytes = std::vector<std::uint8_t>;

template <std::size_t N> Bytes bytesOf(const ByteImage<N>& image)
{
    return Bytes(image.data(), image.data() + N);
}

Bytes imageOf(const DeviceMemory& memory, MemoryRecord r)
{
    switch (r) {
    case MemoryRecord::Ram1:
        return bytesOf(memory.ram1);
    case MemoryRecord::Ram2:
        return bytesOf(memory.ram2);
    case MemoryRecord::Ram3:
        break;
    }
    return bytesOf(memory.ram3);
}

Bytes recordOf(const VirtualMeter& meter, MemoryRecord r)
{
    switch (r) {
    case MemoryRecord::Ram1:
        return bytesOf(meter.ram1());
    case MemoryRecord::Ram2:
        return bytesOf(meter.ram2());
    case MemoryRecord::Ram3:
        break;
    }
    return bytesOf(meter.ram3());
}

/// The bytes of a "Command:" monitor block; empty for any other block.
QByteArray requestOf(const QString& block)
{
    static const QString head = QStringLiteral("Command: \r\n");
    if (!block.startsWith(head))
        return {};
    QByteArray out;
    for (const QString& t : block.mid(head.size()).split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const QString hex = t.trimmed();
        if (hex.isEmpty())
            continue;
        bool ok = false;
        const uint b = hex.toUInt(&ok, 16);
        if (!ok || hex.size() != 2)
            break;
        out.append(char(b));
    }
    return out;
}

bool payloadIs(const QByteArray& frame, const Bytes& image)
{
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(frame.constData());
    const std::optional<Frame> request = Frame::decode({bytes, std::size_t(frame.size())});
    return request && request->payload().size() == image.size() &&
           std::equal(image.begin(), image.end(), request->payload().begin());
}

int differingBytes(const Bytes& a, const Bytes& b)
{
    int n = 0;
    for (std::size_t i = 0; i < std::min(a.size(), b.size()); ++i)
        n += a[i] != b[i];
    return n;
}

/// The elements in which two images of a record differ, with both values ("Offset[2] window 12,
/// meter 0"), for the reader of a failure.
QString differingElements(MemoryRecord r, const Bytes& a, const Bytes& b, const char* aName,
                          const char* bName)
{
    if (a.size() != b.size())
        return {};
    return differenceRows(diffRecord(r, std::span<const std::uint8_t>(a), std::span<const std::uint8_t>(b)),
                          QStringLiteral("%1 ") + QLatin1String(aName) + QStringLiteral(" %2, ") +
                              QLatin1String(bName) + QStringLiteral(" %3"))
        .join(QStringLiteral("; "));
}

/// Bytes that differ within the fields a settings section holds (the record head and the carried
/// bytes are not in the file: a load keeps the image's own).
int differingSettingsBytes(const Bytes& a, const Bytes& b, std::span<const ConfigField> table)
{
    int n = 0;
    for (const ConfigField& c : table) {
        const FieldInfo& f = c.info();
        for (std::size_t i = f.offset; i < f.end() && i < std::min(a.size(), b.size()); ++i)
            n += a[i] != b[i];
    }
    return n;
}

bool sameElement(const FieldChange& a, const FieldChange& b)
{
    return a.record == b.record && a.index == b.index && a.field && b.field &&
           std::strcmp(a.field->name, b.field->name) == 0;
}

QString elementNames(const std::vector<FieldChange>& changes)
{
    QStringList names;
    for (const FieldChange& c : changes)
        names << QString::fromStdString(c.name());
    return names.join(QStringLiteral(", "));
}

const char* outcomeName(WriteOutcome o)
{
    switch (o) {
    case WriteOutcome::Verified:
        return "verified";
    case WriteOutcome::Differs:
        return "differs";
    case WriteOutcome::NotAcknowledged:
        return "not acknowledged";
    case WriteOutcome::OtherMeter:
        break;
    }
    return "other meter";
}

/// The port behind a name of the rig: counts what the window writes to it, and what it delivers.
class TappedPort : public VirtualMeterPort
{
public:
    TappedPort(bool paced, const QString& name, VirtualMeterPort::Cable& cable, int& writes,
               std::uint64_t& delivered)
        : VirtualMeterPort(paced, name, cable), m_writes(writes)
    {
        connect(this, &SerialPort::received, this,
                [&delivered](const QByteArray& b) { delivered += std::uint64_t(b.size()); });
    }
    bool write(const QByteArray& data) override
    {
        const bool ok = VirtualMeterPort::write(data);
        m_writes += ok;
        return ok;
    }

private:
    int& m_writes;
};

/// A network port of the rig, counted as TappedPort counts.
class TappedNetworkPort : public NetworkPort
{
public:
    TappedNetworkPort(int& writes, std::uint64_t& delivered) : m_writes(writes)
    {
        connect(this, &SerialPort::received, this,
                [&delivered](const QByteArray& b) { delivered += std::uint64_t(b.size()); });
    }
    bool write(const QByteArray& data) override
    {
        const bool ok = NetworkPort::write(data);
        m_writes += ok;
        return ok;
    }

private:
    int& m_writes;
};

/// The server's side of Telnet with the COM Port Control Option, as far as a device server needs
/// it: binary, go-ahead suppression and the option itself are agreed to once each, any other
/// option refused; every line setting is confirmed as asked; IAC IAC on the line is one 0xFF.
class TelnetServer
{
public:
    using T = TelnetClient;

    /// The line's bytes among `bytes`; what must be answered is appended to `reply`.
    QByteArray feed(const QByteArray& bytes, QByteArray& reply)
    {
        QByteArray data;
        for (char c : bytes) {
            const auto b = std::uint8_t(c);
            switch (m_state) {
            case State::Data:
                if (b == T::kIac)
                    m_state = State::Iac;
                else
                    data += c;
                break;
            case State::Iac:
                m_state = State::Data;
                if (b == T::kIac)
                    data += c;
                else if (b == T::kWill || b == T::kWont || b == T::kDo || b == T::kDont)
                    m_verb = b, m_state = State::Option;
                else if (b == T::kSb)
                    m_sub.clear(), m_state = State::Sub;
                break;
            case State::Option:
                negotiate(b, reply);
                m_state = State::Data;
                break;
            case State::Sub:
                if (b == T::kIac)
                    m_state = State::SubIac;
                else
                    m_sub += c;
                break;
            case State::SubIac:
                if (b == T::kSe) {
                    confirm(reply);
                    m_state = State::Data;
                } else {
                    m_sub += c;
                    m_state = State::Sub;
                }
                break;
            }
        }
        return data;
    }
    static QByteArray escape(const QByteArray& data)
    {
        QByteArray out;
        for (char c : data) {
            out += c;
            if (std::uint8_t(c) == T::kIac)
                out += c;
        }
        return out;
    }

private:
    enum class State
    {
        Data,
        Iac,
        Option,
        Sub,
        SubIac
    };
    static QByteArray sequence(std::initializer_list<std::uint8_t> bytes)
    {
        QByteArray out;
        for (std::uint8_t b : bytes)
            out += char(b);
        return out;
    }
    static QByteArray command(std::uint8_t verb, std::uint8_t option)
    {
        return sequence({T::kIac, verb, option});
    }
    void negotiate(std::uint8_t option, QByteArray& reply)
    {
        const bool known = option == T::kBinary || option == T::kSuppressGoAhead || option == T::kComPort;
        if (m_verb == T::kWill && !m_him[option]) {
            m_him[option] = known;
            reply += command(known ? T::kDo : T::kDont, option);
        } else if (m_verb == T::kDo && !m_us[option]) {
            m_us[option] = known && option != T::kComPort; // the client's option, not ours
            reply += command(m_us[option] ? T::kWill : T::kWont, option);
        }
    }
    void confirm(QByteArray& reply)
    {
        if (m_sub.size() < 2 || std::uint8_t(m_sub[0]) != T::kComPort ||
            std::uint8_t(m_sub[1]) > T::kSetControl)
            return;
        reply +=
            sequence({T::kIac, T::kSb, T::kComPort, std::uint8_t(std::uint8_t(m_sub[1]) + T::kServerOffset)});
        reply += escape(m_sub.mid(2));
        reply += sequence({T::kIac, T::kSe});
    }

    State m_state = State::Data;
    std::uint8_t m_verb = 0;
    QByteArray m_sub;
    std::array<bool, 256> m_us{};
    std::array<bool, 256> m_him{};
};

/// A serial device server on loopback in front of a cable: it takes one connection at a time (a
/// new one takes the line from the old) and passes the bytes between it and the meter the cable
/// reaches, through a port of its own that it closes when the connection ends, as a device server
/// closes its serial line. cut() drops the connection at once.
class Bridge
{
public:
    Bridge(bool telnet, bool paced, VirtualMeterPort::Cable& cable)
        : m_telnet(telnet), m_paced(paced), m_cable(cable)
    {
        QObject::connect(&m_server, &QTcpServer::newConnection, &m_server, [this] { accept(); });
        m_server.listen(QHostAddress::LocalHost, 0);
    }
    ~Bridge()
    {
        // No event loop runs any more to delete them later.
        if (m_socket)
            m_socket->disconnect();
        delete std::exchange(m_socket, nullptr);
        m_line.reset();
    }

    QString portName() const
    {
        return QStringLiteral("%1://127.0.0.1:%2")
            .arg(QLatin1String(m_telnet ? "rfc2217" : "tcp"))
            .arg(m_server.serverPort());
    }
    bool listening() const { return m_server.isListening(); }
    bool connected() const { return m_socket != nullptr; }
    /// Counts the connections taken: a cut is meant for the one it was planned for.
    quint64 connection() const { return m_connections; }
    /// Ends the connection: reset at once, or closed in order after what was sent.
    void cut(bool reset)
    {
        if (!m_socket)
            return;
        ++cuts;
        drop(reset);
    }

    /// Called for every connection taken.
    std::function<void()> accepted;
    int cuts = 0;

private:
    void accept()
    {
        while (QTcpSocket* s = m_server.nextPendingConnection()) {
            drop();
            ++m_connections;
            m_socket = s;
            m_session = TelnetServer{};
            m_line = std::make_unique<VirtualMeterPort>(m_paced, QStringLiteral("server"), m_cable);
            m_line->open(QStringLiteral("server"));
            QObject::connect(m_line.get(), &SerialPort::received, s, [this, s](const QByteArray& bytes) {
                s->write(m_telnet ? TelnetServer::escape(bytes) : bytes);
            });
            QObject::connect(s, &QTcpSocket::readyRead, s, [this, s] {
                QByteArray bytes = s->readAll();
                if (m_telnet) {
                    QByteArray reply;
                    bytes = m_session.feed(bytes, reply);
                    if (!reply.isEmpty())
                        s->write(reply);
                }
                if (!bytes.isEmpty() && m_line)
                    m_line->write(bytes);
            });
            QObject::connect(s, &QTcpSocket::disconnected, s, [this, s] {
                if (s == m_socket)
                    drop();
            });
            if (accepted)
                accepted();
        }
    }
    void drop(bool reset = true)
    {
        if (m_line) {
            m_line->close();
            m_line.release()->deleteLater();
        }
        if (!m_socket)
            return;
        QTcpSocket* s = std::exchange(m_socket, nullptr);
        s->disconnect();
        if (reset)
            s->abort();
        else
            s->disconnectFromHost();
        // Perhaps dropped from inside one of its own signals.
        s->deleteLater();
    }

    bool m_telnet;
    bool m_paced;
    VirtualMeterPort::Cable& m_cable;
    QTcpServer m_server;
    QTcpSocket* m_socket = nullptr;
    TelnetServer m_session;
    std::unique_ptr<VirtualMeterPort> m_line;
    quint64 m_connections = 0;
};

/// The two meters and the cables behind the two lines. They outlive every port the window opens,
/// as real meters and cables outlive a port being closed.
struct Rig
{
    static constexpr const char* kPortNames[2] = {"DEMO", "DEMO2"};

    Rig(unsigned seed, bool paced, std::array<LineKind, 2> kinds) : paced(paced), kinds(kinds)
    {
        FaultProfile faults;
        faults.drop = 0.10;
        faults.crc = faults.late = faults.split = faults.garbage = 0.05;
        // Writes are few: their acknowledgements come late more often, so a run sees several.
        faults.lateWrite = 0.25;
        VirtualMeterConfig a;
        a.installed = true;
        a.faults = faults;
        a.seed = seed;
        // The meter whose firmware caps a current ratio and a threshold.
        for (const char* text : {"RAM2.Ratio[1]=70", "RAM2.DoutHighLimit[1]=500"})
            a.clamps.push_back(*parseFieldClamp(QLatin1String(text)).value);
        VirtualMeterConfig b;
        b.factoryNumber = 21005678;
        b.factoryYear = 22;
        b.factoryMonth = 3;
        b.faults = faults;
        b.seed = seed + 7919;
        meters[0] = std::make_unique<VirtualMeter>(a);
        meters[1] = std::make_unique<VirtualMeter>(b);
        cables[0].plug(meters[0].get());
        cables[1].plug(meters[1].get());
        for (std::size_t k = 0; k < 2; ++k)
            if (kinds[k] != LineKind::Serial)
                servers[k] = std::make_unique<Bridge>(kinds[k] == LineKind::Rfc2217, paced, cables[k]);
    }

    /// The name the window opens line `k` under.
    QString portName(int k) const
    {
        const auto& server = servers[std::size_t(k)];
        return server ? server->portName() : QLatin1String(kPortNames[k]);
    }
    /// The device server in front of line `k`, if it is reached over the network.
    Bridge* server(int k) const { return servers[std::size_t(k)].get(); }

    LinkDriver::PortFactory ports()
    {
        return [this](const QString& name) -> std::unique_ptr<SerialPort> {
            for (int k = 0; k < 2; ++k) {
                if (name != portName(k))
                    continue;
                if (servers[std::size_t(k)])
                    return std::make_unique<TappedNetworkPort>(portWrites, portDelivered);
                return std::make_unique<TappedPort>(paced, name, cables[std::size_t(k)], portWrites,
                                                    portDelivered);
            }
            return nullptr;
        };
    }

    VirtualMeter& meter(int k) { return *meters[std::size_t(k)]; }
    std::uint32_t number(int k) const { return meters[std::size_t(k)]->config().factoryNumber; }
    /// The meter a cable reaches: 0, 1, or -1 while it is unplugged.
    int reachedBy(int line) const
    {
        const VirtualMeter* m = cables[std::size_t(line)].meter();
        return m == meters[0].get() ? 0 : m == meters[1].get() ? 1 : -1;
    }

    bool paced;
    std::array<LineKind, 2> kinds;
    std::array<std::unique_ptr<VirtualMeter>, 2> meters;
    std::array<VirtualMeterPort::Cable, 2> cables;
    std::array<std::unique_ptr<Bridge>, 2> servers; // after the cables they reach
    int portWrites = 0;                             ///< requests the ports took from the window
    std::uint64_t portDelivered = 0;                ///< bytes the ports delivered to the window
};

/// One press that committed an image for writing, and what became of it.
struct Commit
{
    int seq = 0;
    MemoryRecord record = MemoryRecord::Ram2;
    Bytes bytes;                             ///< the image as committed
    std::optional<std::uint32_t> before;     ///< the meter the image belonged to before the press
    std::optional<std::uint32_t> owner;      ///< the meter the image belonged to after it
    std::optional<std::uint32_t> identified; ///< the meter identified on the line then
    double at = 0;
    bool superseded = false;             ///< a newer press or a load replaced it while it was owed
    bool reached = false;                ///< it arrived at its own meter
    std::optional<WriteOutcome> outcome; ///< the outcome the window reported
    std::vector<FieldChange> clamped;    ///< what the meter changed when it stored it

    bool open() const { return !superseded && !outcome; }
};

class Soak
{
public:
    Soak(const Options& opt, TForm1& form, Rig& rig)
        : m_opt(opt), f(form), m_rig(rig), m_rng(opt.seed), m_netRng(opt.seed * 2654435761u + 17)
    {
    }
    ~Soak()
    {
        // The meters and the window outlive the soak.
        for (int m = 0; m < 2; ++m) {
            m_rig.meter(m).setRequestWatcher({});
            if (Bridge* server = m_rig.server(m))
                server->accepted = {};
        }
    }

    int run();

private:
    /// The meter at the end of the open port's cable, or none while the cable is moved.
    VirtualMeter* meterOnLine() { return m_rig.cables[std::size_t(m_line)].meter(); }
    int meterIndex(std::uint32_t number) const
    {
        return number == m_rig.number(0) ? 0 : number == m_rig.number(1) ? 1 : -1;
    }
    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(m_rng); }
    bool chance(double p) { return std::uniform_real_distribution<double>(0, 1)(m_rng) < p; }
    double now() const { return double(m_clock.elapsed()) / 1000; }

    /// Runs the event loop for `ms`.
    static void pause(int ms)
    {
        QEventLoop loop;
        QTimer::singleShot(ms, &loop, &QEventLoop::quit);
        loop.exec();
    }
    /// Runs the event loop until `done` holds or `seconds` have passed; returns `done()`.
    static bool waitFor(const std::function<bool()>& done, double seconds)
    {
        QElapsedTimer t;
        t.start();
        while (!done()) {
            if (double(t.elapsed()) / 1000 > seconds)
                return false;
            pause(10);
        }
        return true;
    }

    bool quiet() const
    {
        if (m_moving)
            return false;
        for (int k : kOneShot)
            if (f.engine().flag(k))
                return false;
        return f.model().requests().ServiceCode == 0;
    }

    void fail(const char* what, const QString& detail = {})
    {
        ++m_failures;
        if (m_failureLines < 40) {
            ++m_failureLines;
            std::printf("FAULT at %.1f s: %s%s%s\n", now(), what, detail.isEmpty() ? "" : ": ",
                        qPrintable(detail));
            std::fflush(stdout);
        }
    }
    void note(const QString& text)
    {
        if (m_opt.verbose)
            std::printf("%7.2f s  %s\n", now(), qPrintable(text));
    }

    void watch();
    void onMonitor(const QString& block);
    void onFlags();
    void onMeterRequest(int meter, std::uint8_t code, std::span<const std::uint8_t> payload);
    void onWriteFinished(const JournalEntry& entry);

    // The bookkeeping of committed writes.
    Commit* latest(MemoryRecord r)
    {
        auto& list = m_commits[slot(r)];
        return list.empty() ? nullptr : &list.back();
    }
    /// Notes which writes are owed, and whose the images are, just before an intent that may
    /// replace them.
    void beforeIntent()
    {
        for (MemoryRecord r : kAllMemoryRecords) {
            m_owedBefore[slot(r)] = f.model().writeOwed(r);
            m_ownerBefore[slot(r)] = f.model().imageOwner(r);
        }
        m_approved.clear();
    }
    /// The images show the meter's records once quiet (a write taken, a read asked for)...
    void imagesShowMeter()
    {
        m_imagesShowMeter = true;
        m_imagesUnwritten = false;
    }
    /// ... or hold what the user loaded or packed and was not written. No read replaces that:
    /// neither page changes nor state answers while a section is loaded, nor the model's own reads
    /// (who is on the line) of an image that holds a record.
    void imagesUnwritten()
    {
        m_imagesShowMeter = false;
        m_imagesUnwritten = true;
    }
    /// The user's review of a write: a proposal with another meter's records is declined (this
    /// user never copies records between meters), any other is written.
    ReviewDecision review(const WriteProposal& p);
    /// Runs a press: the records its review let through are committed. Returns whether the window
    /// took it, which must be what the review decided.
    bool press(const char* what, const std::function<bool()>& intent);
    /// The image of `r` was replaced (a new press, a load): a write still owed is superseded.
    void replaced(MemoryRecord r);
    /// The image of `r` was committed for writing by a press.
    void committed(MemoryRecord r);
    void lostWrite(const Commit& c, const char* how);

    // User actions.
    void changePage();
    void editAndWrite();
    void calibrate();
    void testOutputs();
    void analogTest();
    void clearEnergy();
    void service();
    void settingsRoundTrip();
    void readConfig();
    void moveCable();
    void switchPort();
    /// Adds the time the line just left was reached over the network.
    void networkTime();
    // The device servers' side.
    bool netChance(double p) { return std::uniform_real_distribution<double>(0, 1)(m_netRng) < p; }
    /// A connection was made to the server in front of `line`: its cut is planned.
    void connectionMade(int line);
    /// Cuts the connection `connection` to the server in front of `line`, if it is still the one
    /// made; sometimes moves the cable behind the server to the other meter before the window
    /// reconnects.
    void cutConnection(int line, quint64 connection);

    /// Compares the meters with what the window last sent; only meaningful while quiet().
    void verify(const char* when);
    /// The end: writes still open are lost, clamps still unreported are unreported.
    void judgeOpenWrites();
    /// The engine's line statistics against what the monitor showed, what the ports carried and
    /// what the meters took.
    void checkLineStats(const char* when);

    Options m_opt;
    TForm1& f;
    Rig& m_rig;
    QObject m_context; // what the soak hears of the window and the meters ends with it
    std::mt19937 m_rng;
    std::mt19937 m_netRng; // the servers' cuts, apart from the user's actions
    QElapsedTimer m_clock;
    QTemporaryDir m_dir;

    int m_line = 0;        // the open port
    bool m_moving = false; // a cable is unplugged, on its way to the other meter
    int m_moves = 0;
    int m_portSwitches = 0;
    int m_cutsOwed = 0;       // connections cut while a write was owed
    int m_movesWhileDown = 0; // cables moved behind a server while the window was cut off
    int m_losses = 0;         // connection losses the window reported
    int m_reconnections = 0;  // connections the window made again after a loss
    double m_networkSince = -1;
    PortStatus m_portStatus = PortStatus::Closed;
    double m_networkSeconds = 0; // time with a network line open

    std::array<std::vector<Commit>, 4> m_commits; // by record
    std::array<bool, 4> m_owedBefore{};
    std::array<std::optional<std::uint32_t>, 4> m_ownerBefore{};
    std::vector<MemoryRecord> m_approved; // what the review of the press under way let through
    std::array<int, 4> m_lastSent{};      // the press whose image went out last, by record
    int m_reviews = 0;
    int m_foreignDeclined = 0;
    int m_seq = 0;
    /// What each meter must hold: the last committed image that reached it as it stores it, or
    /// the defaults of a service code, by record.
    std::array<std::array<Bytes, 4>, 2> m_expected;
    std::array<std::array<int, 4>, 2> m_lastArrived{}; // the commit each meter last took
    std::optional<std::uint8_t> m_lastDigout, m_lastDaCalib;
    std::optional<float> m_lastDaTest;
    bool m_imagesShowMeter = true; // the window's images must equal the meter's once quiet
    /// The images hold records the user loaded or packed that were not written: a settings section
    /// whose write was not taken, or a press whose write was dropped for another meter.
    bool m_imagesUnwritten = false;
    std::array<bool, kCommandCount + 1> m_flags{};
    double m_lastClearAt = -1e9;

    int m_failures = 0;
    int m_failureLines = 0;
    // What the monitor showed, against which the engine's line statistics are checked.
    int m_requests = 0;
    int m_frames = 0;
    int m_timeouts = 0;
    int m_badCrcFrames = 0;
    int m_shortAnswers = 0;
    std::array<int, kCommandCount + 1> m_confirmed{};
    std::array<int, kCommandCount + 1> m_writeFrames{};
    int m_staleWrites = 0;
    int m_uncommittedWrites = 0;
    int m_unheldWrites = 0;
    int m_wrongMeter = 0;
    int m_lostWrites = 0;
    int m_unreportedDifferences = 0;
    int m_misstatedOutcomes = 0;
    int m_strayOutcomes = 0;
    int m_silentOutcomes = 0;
    int m_outcomeMessages = 0;
    QStringList m_unclaimedMessages; // messages shown in this turn of the event loop
    std::array<int, 4> m_outcomes{};
    int m_clampedWrites = 0;
    int m_clampedUnacknowledged = 0;
    int m_commitCount = 0;
    int m_monitorOverflows = 0;
    int m_memoDiffers = 0; ///< blocks after which Memo1, on screen, did not hold the monitor's lines
    int m_maxMonitorLines = 0;
    int m_checkpoints = 0;
    int m_checkpointsMissed = 0;
    int m_mismatches = 0;
    int m_actions = 0;
    std::array<int, 11> m_actionCounts{};
    int m_errors = 0;
    int m_fileErrors = 0;
    int m_settingsRoundTripDiffs = 0;
    int m_unwrittenShown = 0; // images of the meter on the line found holding records not written
};

void Soak::replaced(MemoryRecord r)
{
    Commit* c = latest(r);
    if (!c || !c->open())
        return;
    // A write the window no longer owed, that neither reached its meter nor ended with an outcome,
    // went nowhere.
    if (!c->reached && !m_owedBefore[slot(r)])
        lostWrite(*c, "dropped without an outcome");
    c->superseded = true;
}

ReviewDecision Soak::review(const WriteProposal& p)
{
    ++m_reviews;
    if (p.foreign()) {
        ++m_foreignDeclined;
        note(QStringLiteral("review declined: records of meter %1 with meter %2 on the line")
                 .arg(p.owner.value_or(0))
                 .arg(p.meter.value_or(0)));
        return {};
    }
    // A proposal that changes nothing is not written.
    if (!p.changes.empty())
        for (MemoryRecord r : kAllMemoryRecords)
            if ((r == MemoryRecord::Ram1 && p.ram1) || (r == MemoryRecord::Ram2 && p.ram2) ||
                (r == MemoryRecord::Ram3 && p.ram3))
                m_approved.push_back(r);
    return {true, false};
}

bool Soak::press(const char* what, const std::function<bool()>& intent)
{
    beforeIntent();
    const bool took = intent();
    if (took != !m_approved.empty())
        fail("a press taken otherwise than its review decided",
             QStringLiteral("%1 %2").arg(QLatin1String(what), took ? "taken" : "refused"));
    for (MemoryRecord r : m_approved)
        committed(r);
    return took;
}

void Soak::committed(MemoryRecord r)
{
    replaced(r);
    Commit c;
    c.seq = ++m_seq;
    c.record = r;
    c.bytes = imageOf(f.memory(), r);
    c.before = m_ownerBefore[slot(r)];
    c.owner = f.model().imageOwner(r);
    c.identified = f.model().lineMeter();
    c.at = now();
    note(QStringLiteral("%1 committed (#%2), image of %3 then %4, meter %5 identified, owed before: %6")
             .arg(QLatin1String(memoryRecordName(r)))
             .arg(c.seq)
             .arg(c.before.value_or(0))
             .arg(c.owner.value_or(0))
             .arg(c.identified.value_or(0))
             .arg(m_owedBefore[slot(r)]));
    m_commits[slot(r)].push_back(std::move(c));
    ++m_commitCount;
    // Often the server's connection is cut just as the write is to go.
    if (Bridge* server = m_rig.server(m_line); server && server->connected() && netChance(0.4)) {
        const quint64 connection = server->connection();
        QTimer::singleShot(std::uniform_int_distribution<int>(0, 250)(m_netRng), &m_context,
                           [this, line = m_line, connection] { cutConnection(line, connection); });
    }
}

void Soak::lostWrite(const Commit& c, const char* how)
{
    ++m_lostWrites;
    fail("lost write", QStringLiteral("%1 committed at %2 s for meter %3: %4")
                           .arg(QLatin1String(memoryRecordName(c.record)))
                           .arg(c.at, 0, 'f', 1)
                           .arg(c.owner ? QString::number(*c.owner) : QStringLiteral("?"))
                           .arg(QLatin1String(how)));
}

void Soak::onMonitor(const QString& block)
{
    auto* comm = f.findChild<CommPage*>(QStringLiteral("TabSheet_Comm"));
    auto* memo = f.findChild<QPlainTextEdit*>(QStringLiteral("Memo1"));
    // The monitor appended this block after removing old lines: before it there were fewer than 500.
    const int lines = comm->monitorLineCount();
    // On screen, Memo1 holds exactly the monitor's lines; hidden, it catches up when shown.
    if (memo->isVisible() && memo->document()->blockCount() != lines && ++m_memoDiffers <= 3)
        fail("Memo1 differs from the monitor's lines",
             QStringLiteral("%1 blocks, %2 lines").arg(memo->document()->blockCount()).arg(lines));
    m_maxMonitorLines = std::max(m_maxMonitorLines, lines);
    const int added = int(block.count(QStringLiteral("\r\n"))) + 1;
    if (lines - added >= 500 && ++m_monitorOverflows <= 3)
        fail("monitor held 500 lines before a block", QString::number(lines - added));

    if (block.startsWith(QLatin1String("Data received")))
        ++m_frames;
    if (block.contains(QLatin1String("CRC NOTOK")))
        ++m_badCrcFrames;
    if (block.startsWith(QLatin1String("Timeout")))
        ++m_timeouts;
    if (block.startsWith(QLatin1String("Answer too short")))
        ++m_shortAnswers;
    const QByteArray req = requestOf(block);
    if (req.isEmpty())
        return;
    ++m_requests;
    const int code = quint8(req[0]);
    if (code >= 1 && code <= kCommandCount)
        ++m_writeFrames[std::size_t(code)];
    const std::optional<MemoryRecord> r = recordWritten(code);
    if (!r)
        return;
    const auto& list = m_commits[slot(*r)];
    const auto it =
        std::find_if(list.rbegin(), list.rend(), [&](const Commit& k) { return payloadIs(req, k.bytes); });
    if (it != list.rend())
        m_lastSent[slot(*r)] = it->seq;
    const Commit* c = latest(*r);
    if (*r != MemoryRecord::Ram1 && (!c || !payloadIs(req, c->bytes))) {
        ++m_staleWrites;
        fail(*r == MemoryRecord::Ram2 ? "RAM2 write with an image other than the one committed"
                                      : "RAM3 write with an image other than the one committed");
    }
}

void Soak::onFlags()
{
    for (int k = 1; k <= kCommandCount; ++k) {
        const bool on = f.engine().flag(k);
        const bool was = m_flags[std::size_t(k)];
        m_flags[std::size_t(k)] = on;
        if (on == was)
            continue;
        if (on && ((k == Write_RAM2 && !f.model().ram2Held()) || (k == Write_RAM3 && !f.model().ram3Held()) ||
                   (k == Write_RAM1 && !f.model().ram1Held()))) {
            ++m_unheldWrites;
            fail("write flagged while its image holds no record", QLatin1String(commandName(k)));
        }
        if (!on && std::find(std::begin(kWrites), std::end(kWrites), k) != std::end(kWrites))
            ++m_confirmed[std::size_t(k)];
    }
}

void Soak::onMeterRequest(int m, std::uint8_t code, std::span<const std::uint8_t> payload)
{
    VirtualMeter& meter = m_rig.meter(m);
    const std::uint32_t number = m_rig.number(m);
    switch (code) {
    case Write_Digout:
        m_lastDigout = payload[0];
        return;
    case Write_DAcalib:
        m_lastDaCalib = payload[0];
        return;
    case Write_DAtest: {
        float v;
        std::memcpy(&v, payload.data(), sizeof v);
        m_lastDaTest = v;
        return;
    }
    case Read_State: {
        const VirtualMeterConfig& mc = meter.config();
        if (payload[0] & kServiceFactoryDefaults) {
            m_expected[std::size_t(m)][slot(MemoryRecord::Ram2)] = bytesOf(VirtualMeter::factoryRam2());
            m_expected[std::size_t(m)][slot(MemoryRecord::Ram3)] =
                bytesOf(VirtualMeter::factoryRam3(mc.factoryNumber, mc.factoryYear, mc.factoryMonth));
        }
        if (payload[0] & kServiceUserDefaults)
            m_expected[std::size_t(m)][slot(MemoryRecord::Ram2)] = bytesOf(VirtualMeter::factoryRam2());
        return;
    }
    default:
        break;
    }
    const std::optional<MemoryRecord> r = recordWritten(code);
    if (!r)
        return;
    const Bytes written(payload.begin(), payload.end());
    auto& list = m_commits[slot(*r)];
    const auto it =
        std::find_if(list.rbegin(), list.rend(), [&](const Commit& c) { return c.bytes == written; });
    if (it == list.rend()) {
        ++m_uncommittedWrites;
        fail("a write that no press committed reached a meter",
             QStringLiteral("%1 at meter %2").arg(QLatin1String(memoryRecordName(*r))).arg(number));
        return;
    }
    Commit& c = *it;
    const auto other = [number](const std::optional<std::uint32_t>& meter) {
        return meter && *meter != number;
    };
    if (other(c.identified) || other(c.before) || other(c.owner)) {
        ++m_wrongMeter;
        const auto name = [](const std::optional<std::uint32_t>& meter) {
            return meter ? QString::number(*meter) : QStringLiteral("?");
        };
        fail("write to the wrong meter",
             QStringLiteral(
                 "%1 committed at %2 s (image of %3, then of %4; meter %5 identified) reached meter %6")
                 .arg(QLatin1String(memoryRecordName(*r)))
                 .arg(c.at, 0, 'f', 1)
                 .arg(name(c.before), name(c.owner), name(c.identified))
                 .arg(number));
    } else {
        c.reached = true;
    }
    note(QStringLiteral("%1 #%2 reached meter %3")
             .arg(QLatin1String(memoryRecordName(*r)))
             .arg(c.seq)
             .arg(number));
    int& last = m_lastArrived[std::size_t(m)][slot(*r)];
    if (c.seq < last) {
        ++m_staleWrites;
        fail("an older write reached a meter after a newer one",
             QStringLiteral("%1 at meter %2").arg(QLatin1String(memoryRecordName(*r))).arg(number));
    }
    last = std::max(last, c.seq);
    // What the meter stored of it: the clamped elements, and what it must hold from now on.
    c.clamped = diffRecord(*r, std::span<const std::uint8_t>(written), recordOf(meter, *r));
    if (!c.clamped.empty()) {
        ++m_clampedWrites;
        note(QStringLiteral("meter %1 clamped %2").arg(number).arg(elementNames(c.clamped)));
    }
    Bytes stored = written;
    applyClamps(meter.config().clamps, *r, stored);
    m_expected[std::size_t(m)][slot(*r)] = stored;
}

void Soak::onWriteFinished(const JournalEntry& e)
{
    ++m_outcomes[std::size_t(e.outcome)];
    // The user must act on a write that differs or went to no meter; one that a load replaced
    // after it went out is told in the monitor and the journal alone.
    if (e.outcome == WriteOutcome::NotAcknowledged) {
        if (!m_unclaimedMessages.isEmpty()) {
            m_unclaimedMessages.removeLast();
            ++m_outcomeMessages;
        }
    } else if (e.outcome != WriteOutcome::Verified) {
        if (m_unclaimedMessages.isEmpty()) {
            ++m_silentOutcomes;
            fail("a write that differs or was dropped, and the user was not told",
                 QLatin1String(memoryRecordName(e.record)));
        } else {
            m_unclaimedMessages.removeLast();
            ++m_outcomeMessages;
        }
    }
    // A configuration write dropped for another meter leaves what the user packed in the images
    // (the editors keep it), also once its own meter is back on the line.
    if (e.outcome == WriteOutcome::OtherMeter && e.record != MemoryRecord::Ram1)
        imagesUnwritten();
    note(QStringLiteral("%1 write to %2 ended: %3 %4")
             .arg(QLatin1String(memoryRecordName(e.record)))
             .arg(e.Gyartasiszam)
             .arg(QLatin1String(outcomeName(e.outcome)))
             .arg(elementNames(e.differences)));
    // A verdict on the read-back describes the press whose image went out last (a newer press may
    // wait behind it); any other outcome ends whatever of the record was still owed.
    const bool acknowledged = e.outcome == WriteOutcome::Verified || e.outcome == WriteOutcome::Differs;
    auto& list = m_commits[slot(e.record)];
    const int sent = m_lastSent[slot(e.record)];
    Commit* c = nullptr;
    for (Commit& k : list)
        if (!k.outcome && (acknowledged ? k.seq == sent : true))
            c = &k;
    if (!c) {
        ++m_strayOutcomes;
        fail("an outcome for a write no longer owed",
             QStringLiteral("%1 %2").arg(QLatin1String(memoryRecordName(e.record)),
                                         QLatin1String(outcomeName(e.outcome))));
        return;
    }
    for (Commit& k : list)
        if (!k.outcome && k.seq <= c->seq)
            k.outcome = e.outcome;
    if (!c->clamped.empty()) {
        if (!acknowledged) {
            // The window never had the acknowledgement, so it could not compare.
            ++m_clampedUnacknowledged;
        } else {
            std::vector<FieldChange> missing;
            for (const FieldChange& k : c->clamped)
                if (std::none_of(e.differences.begin(), e.differences.end(),
                                 [&](const FieldChange& d) { return sameElement(d, k); }))
                    missing.push_back(k);
            if (e.outcome != WriteOutcome::Differs || !missing.empty()) {
                ++m_unreportedDifferences;
                fail("unreported difference",
                     QStringLiteral("%1 write to %2 ended \"%3\"; clamped but not named: %4")
                         .arg(QLatin1String(memoryRecordName(e.record)))
                         .arg(e.Gyartasiszam)
                         .arg(QLatin1String(outcomeName(e.outcome)))
                         .arg(elementNames(missing)));
            }
        }
    }
    // "Verified" and "Differs" describe the meter the write went to. RAM1's counters keep running,
    // so only the configuration records are compared.
    const int m = c->owner ? meterIndex(*c->owner) : -1;
    if (!acknowledged || e.record == MemoryRecord::Ram1 || m < 0)
        return;
    const std::vector<FieldChange> held =
        diffRecord(e.record, std::span<const std::uint8_t>(c->bytes), recordOf(m_rig.meter(m), e.record));
    const auto within = [](const std::vector<FieldChange>& a, const std::vector<FieldChange>& b) {
        return std::all_of(a.begin(), a.end(), [&](const FieldChange& x) {
            return std::any_of(b.begin(), b.end(), [&](const FieldChange& y) { return sameElement(x, y); });
        });
    };
    if (!within(held, e.differences) || !within(e.differences, held)) {
        ++m_misstatedOutcomes;
        fail("an outcome that misstates the meter",
             QStringLiteral("%1 write to %2 ended \"%3\" naming [%4]; the meter differs in [%5]")
                 .arg(QLatin1String(memoryRecordName(e.record)))
                 .arg(e.Gyartasiszam)
                 .arg(QLatin1String(outcomeName(e.outcome)))
                 .arg(elementNames(e.differences), elementNames(held)));
    }
}

void Soak::watch()
{
    QObject::connect(&f.link(), &LinkDriver::monitorText, &m_context,
                     [this](const QString& b) { onMonitor(b); });
    QObject::connect(&f.link(), &LinkDriver::flagsUpdated, &m_context, [this] { onFlags(); });
    QObject::connect(&f.model(), &DeviceModel::writeFinished, &m_context,
                     [this](const JournalEntry& e) { onWriteFinished(e); });
    for (int m = 0; m < 2; ++m) {
        m_rig.meter(m).setRequestWatcher([this, m](std::uint8_t code, std::span<const std::uint8_t> payload) {
            onMeterRequest(m, code, payload);
        });
        for (MemoryRecord r : kAllMemoryRecords)
            m_expected[std::size_t(m)][slot(r)] = recordOf(m_rig.meter(m), r);
    }
    onFlags();
    for (int line = 0; line < 2; ++line)
        if (Bridge* server = m_rig.server(line))
            server->accepted = [this, line] { connectionMade(line); };
    QObject::connect(&f.link(), &LinkDriver::portStatusChanged, &m_context, [this] {
        const PortStatus now = f.link().portStatus();
        m_losses += m_portStatus == PortStatus::Up && now == PortStatus::Reconnecting;
        m_reconnections += m_portStatus == PortStatus::Reconnecting && now == PortStatus::Up;
        m_portStatus = now;
    });
}

void Soak::changePage()
{
    f.activatePage(QLatin1String(kPages[pick(8)]));
}

void Soak::editAndWrite()
{
    // The configuration or the factory page, as the user would have it open for a write.
    const bool factory = chance(0.3);
    f.activatePage(QLatin1String(factory ? "TabSheet_FactorySettings" : "TabSheet_Config"));
    QWidget& page = factory ? static_cast<QWidget&>(f.factoryPage()) : static_cast<QWidget&>(f.configPage());
    QList<NumericSpin*> spins;
    for (NumericSpin* s : page.findChildren<NumericSpin*>())
        if (s != f.configPage().antestValue() && s->objectName() != QLatin1String("NewPassword") &&
            s->objectName() != QLatin1String("Factorynum"))
            spins << s;
    const QList<QComboBox*> boxes = page.findChildren<QComboBox*>();
    const QList<QCheckBox*> checks = page.findChildren<QCheckBox*>();
    // Often one of the fields meter A caps, mostly above its cap (the write packs the configuration
    // editors whichever page is open).
    if (chance(0.6)) {
        const bool ratio = chance(0.5);
        if (auto* s = f.configPage().findChild<NumericSpin*>(QLatin1String(ratio ? "L1Iat" : "D2Highlimit")))
            s->setValue(std::round(std::uniform_real_distribution<double>(0, ratio ? 200 : 1500)(m_rng)));
    }
    const int edits = 1 + pick(5);
    for (int e = 0; e < edits; ++e) {
        const int kind = pick(3);
        if (kind == 0 && !spins.isEmpty()) {
            NumericSpin* s = spins[pick(int(spins.size()))];
            const double v = std::uniform_real_distribution<double>(s->minimum(), s->maximum())(m_rng);
            s->setValue(pick(2) ? std::round(v) : v);
        } else if (kind == 1 && !boxes.isEmpty()) {
            QComboBox* c = boxes[pick(int(boxes.size()))];
            if (c->count() > 0)
                c->setCurrentIndex(pick(c->count()));
        } else if (!checks.isEmpty()) {
            QCheckBox* c = checks[pick(int(checks.size()))];
            c->setChecked(!c->isChecked());
        }
    }
    const bool writable = f.model().configWritable();
    const Bytes before2 = imageOf(f.memory(), MemoryRecord::Ram2);
    const Bytes before3 = imageOf(f.memory(), MemoryRecord::Ram3);
    const bool took = press("write button", [this] { return f.model().WriteRamClick(); });
    if (took && !writable)
        fail("a write taken although an image holds no record");
    if (took)
        imagesShowMeter();
    else if (!(imageOf(f.memory(), MemoryRecord::Ram2) == before2 &&
               imageOf(f.memory(), MemoryRecord::Ram3) == before3))
        fail("a refused write packed the images");
}

void Soak::calibrate()
{
    f.activatePage(QStringLiteral("TabSheet_Calib"));
    // The buttons take the calibration data of this visit.
    int caldata = 0;
    const QMetaObject::Connection c =
        QObject::connect(&f.model(), &DeviceModel::caldataChanged, &f, [&caldata] { ++caldata; });
    const bool got = waitFor([&] { return caldata > 0; }, 10);
    QObject::disconnect(c);
    if (!got)
        return; // a run of lost answers; the user tries again later
    CalibPage& page = f.calibPage();
    const char* radios[] = {"Cal_L1U", "Cal_L1I", "Cal_L2U", "Cal_L2I", "Cal_L3U", "Cal_L3I"};
    if (auto* r = page.findChild<QAbstractButton*>(QLatin1String(radios[pick(6)])))
        r->setChecked(true);
    if (chance(0.3)) {
        if (auto* b = page.findChild<QPushButton*>(QStringLiteral("DAcalbutton")))
            b->click();
        return;
    }
    const char* buttons[] = {"Button_setnominal1", "Button_setoffset1", "Button_clearoffset1"};
    auto* b = page.findChild<QPushButton*>(QLatin1String(buttons[pick(3)]));
    if (!b || !b->isEnabled())
        return;
    // The button changes the RAM3 image and flags its write, unless its review declined it.
    press("calibration button", [&] {
        b->click();
        return !m_approved.empty();
    });
}

void Soak::testOutputs()
{
    if (chance(0.5))
        f.activatePage(QStringLiteral("TabSheet_Meres"));
    f.model().setDigout(std::uint8_t(pick(4)));
}

void Soak::analogTest()
{
    f.activatePage(QStringLiteral("TabSheet_Config"));
    NumericSpin* v = f.configPage().antestValue();
    auto* b = f.configPage().findChild<QPushButton*>(QStringLiteral("Antestbutton"));
    if (!v || !b)
        return;
    v->setValue(std::uniform_real_distribution<double>(v->minimum(), v->maximum())(m_rng));
    b->click();
}

void Soak::clearEnergy()
{
    // Now and then, and not while a cable is on its way to another meter.
    if (now() - m_lastClearAt < 30 || m_moving)
        return;
    f.activatePage(QStringLiteral("TabSheet_Meres"));
    if (!waitFor([&] { return f.model().ram1Held(); }, 10))
        return;
    pause(300 + pick(1000));
    f.activatePage(QStringLiteral("TabSheet_Config"));
    // After a time-out the meter must say who it is before its counters may be cleared.
    if (!waitFor([&] { return f.model().energyClearable(); }, 10))
        return;
    if (!meterOnLine() || m_moving)
        return;
    const int reviews = m_reviews;
    if (!press("energy clear", [this] { return f.model().clearEnergy(); })) {
        if (m_reviews == reviews)
            fail("energy clear refused although RAM1 is held");
        return; // declined: the counters belong to another meter
    }
    m_lastClearAt = now();
    if (!waitFor([&] { return !f.engine().flag(Write_RAM1); }, 30)) {
        fail("energy clear unanswered for 30 s");
        return;
    }
    // Acknowledged: the zeros reached the meter they were read from, unless the window dropped the
    // write because another meter had come on the line. (The counters themselves tell little: the
    // ratios written meanwhile may make them run fast, and a meter off the line counts unseen.)
    const Commit* c = latest(MemoryRecord::Ram1);
    if (c && c->outcome != WriteOutcome::OtherMeter && !c->reached)
        fail("the energy clear's write ended without reaching its meter");
}

void Soak::service()
{
    // A code that restores defaults must not race a write of the same records, nor its read-back.
    if (!waitFor(
            [&] {
                return !f.model().writeOwed(MemoryRecord::Ram2) && !f.model().writeOwed(MemoryRecord::Ram3);
            },
            30))
        return;
    // The user presses one of the service buttons; each must ask for its own code.
    struct ServiceButton
    {
        std::uint8_t code;
        const char* page;
        const char* button;
    };
    static const ServiceButton kButtons[] = {
        {kServiceFactoryDefaults, "TabSheet_FactorySettings", "VelmarDefaultbutton"},
        {kServiceClearErrors, "TabSheet_Errors", "ClearErrorsbutton"},
        {kServiceUserDefaults, "TabSheet_Config", "UserDefaultButton"},
    };
    const ServiceButton& pressed = kButtons[pick(3)];
    const std::uint8_t code = pressed.code;
    f.activatePage(QLatin1String(pressed.page));
    f.findChild<QPushButton*>(QLatin1String(pressed.button))->click();
    if (f.model().requests().ServiceCode != code) {
        fail("a service button asked for another code", QStringLiteral("%1 asked for %2, not %3")
                                                            .arg(QLatin1String(pressed.button))
                                                            .arg(f.model().requests().ServiceCode)
                                                            .arg(code));
        return;
    }
    // Spent when its request goes out; the meter that takes it restores its defaults (onMeterRequest).
    if (!waitFor([&] { return f.model().requests().ServiceCode == 0; }, 30)) {
        fail("service code not sent within 30 s",
             QStringLiteral("code %1, state request %2")
                 .arg(f.model().requests().ServiceCode)
                 .arg(f.engine().flag(Read_State) ? "flagged" : "not flagged"));
        return;
    }
    if (code == kServiceFactoryDefaults) {
        // The factory page reads both records back unless a settings file was loaded.
        if (f.model().requests().SettingsLoaded)
            m_imagesShowMeter = m_imagesUnwritten = false;
    } else if (code == kServiceUserDefaults) {
        // The configuration page does not read the record back.
        m_imagesShowMeter = m_imagesUnwritten = false;
    }
}

void Soak::settingsRoundTrip()
{
    if (!f.model().configWritable())
        return;
    f.activatePage(QStringLiteral("TabSheet_FactorySettings"));
    const QString section = f.factoryPage().factoryNumberText();
    const Bytes saved2 = imageOf(f.memory(), MemoryRecord::Ram2);
    const Bytes saved3 = imageOf(f.memory(), MemoryRecord::Ram3);
    const int fileErrors = m_fileErrors;
    f.factoryPage().SaveSettingsButtonClick();
    pause(50 + pick(500));
    // The images may have been read again meanwhile; the file holds what was saved.
    f.prompts().runDialog = [&](QDialog& d) {
        if (auto* box = d.findChild<QComboBox*>()) {
            const int i = box->findText(section);
            if (i < 0)
                return false;
            box->setCurrentIndex(i);
        }
        return true;
    };
    beforeIntent();
    f.factoryPage().ReadSettingsButtonClick();
    f.prompts().runDialog = [](QDialog&) { return false; };
    if (m_fileErrors != fileErrors)
        return;
    if (!f.model().requests().SettingsLoaded) {
        fail("settings load did not take");
        return;
    }
    replaced(MemoryRecord::Ram2);
    replaced(MemoryRecord::Ram3);
    const int d2 =
        differingSettingsBytes(imageOf(f.memory(), MemoryRecord::Ram2), saved2, ram2ConfigFields());
    const int d3 =
        differingSettingsBytes(imageOf(f.memory(), MemoryRecord::Ram3), saved3, ram3ConfigFields());
    if (d2 + d3 > 0) {
        ++m_settingsRoundTripDiffs;
        fail("loaded settings differ from the saved images",
             QStringLiteral("RAM2 %1 bytes, RAM3 %2 bytes").arg(d2).arg(d3));
    }
    // Unless the user writes it, the images show the loaded section, not the meter. The review
    // declines the write when the section is another meter's; once the line reaches that meter,
    // its records are shown as loaded.
    if (press("write after a load", [this] { return f.model().WriteRamClick(); }))
        imagesShowMeter();
    else
        imagesUnwritten();
}

void Soak::readConfig()
{
    f.model().ReadRamClick();
    // The read answers replace the images unless a write is still waiting.
    if (!f.engine().flag(Write_RAM2) && !f.engine().flag(Write_RAM3))
        imagesShowMeter();
}

void Soak::moveCable()
{
    if (m_moving)
        return;
    // Often right after a write, so that the move finds it owed.
    if (chance(0.5))
        editAndWrite();
    const int line = m_line;
    const int from = m_rig.reachedBy(line);
    const int to = from < 0 ? 0 : 1 - from;
    m_rig.cables[std::size_t(line)].plug(nullptr);
    m_moving = true;
    // Long enough for the answer time-out (300 ms) to cut the exchange under way.
    const int silenceMs = 700 + pick(1300);
    note(QStringLiteral("cable of %1 pulled from meter %2, plugged into %3 in %4 ms")
             .arg(m_rig.portName(line))
             .arg(from >= 0 ? m_rig.number(from) : 0)
             .arg(m_rig.number(to))
             .arg(silenceMs));
    QTimer::singleShot(silenceMs, &m_context, [this, line, to] {
        m_rig.cables[std::size_t(line)].plug(&m_rig.meter(to));
        m_moving = false;
        ++m_moves;
    });
}

void Soak::switchPort()
{
    if (chance(0.5))
        editAndWrite();
    m_line = 1 - m_line;
    note(QStringLiteral("port %1 picked").arg(m_rig.portName(m_line)));
    networkTime();
    f.openPortByName(m_rig.portName(m_line));
    ++m_portSwitches;
}

void Soak::networkTime()
{
    if (m_networkSince >= 0)
        m_networkSeconds += now() - m_networkSince;
    m_networkSince = m_rig.server(m_line) ? now() : -1;
}

void Soak::connectionMade(int line)
{
    const quint64 connection = m_rig.server(line)->connection();
    const int ms = std::uniform_int_distribution<int>(1000, 12000)(m_netRng);
    note(QStringLiteral("connection %1 to %2 made, to be cut in %3 ms")
             .arg(connection)
             .arg(m_rig.portName(line))
             .arg(ms));
    QTimer::singleShot(ms, &m_context, [this, line, connection] { cutConnection(line, connection); });
}

void Soak::cutConnection(int line, quint64 connection)
{
    Bridge* server = m_rig.server(line);
    if (!server->connected() || server->connection() != connection)
        return;
    if (m_portStatus == PortStatus::Connecting) {
        // A port whose first connection fails is closed again, and the user told: that is not
        // what is soaked here. The cut waits until the window has been up.
        QTimer::singleShot(1000, &m_context, [this, line, connection] { cutConnection(line, connection); });
        return;
    }
    bool owed = false;
    for (MemoryRecord r : kAllMemoryRecords)
        owed = owed || f.model().writeOwed(r);
    m_cutsOwed += owed;
    server->cut(netChance(0.5));
    // Someone moves the server's own cable to the other meter while the window is cut off: what
    // the window owes must not go to whoever answers after the reconnection.
    QString moved;
    if (!m_moving && netChance(0.3)) {
        const int from = m_rig.reachedBy(line);
        const int to = from < 0 ? 0 : 1 - from;
        m_rig.cables[std::size_t(line)].plug(&m_rig.meter(to));
        ++m_movesWhileDown;
        moved = QStringLiteral(", its cable moved to meter %1").arg(m_rig.number(to));
    }
    note(QStringLiteral("connection %1 to %2 cut%3%4")
             .arg(connection)
             .arg(m_rig.portName(line), owed ? QStringLiteral(" with a write owed") : QString(), moved));
}

void Soak::verify(const char* when)
{
    for (int m = 0; m < 2; ++m) {
        const VirtualMeter& meter = m_rig.meter(m);
        const int d2 = differingBytes(recordOf(meter, MemoryRecord::Ram2), m_expected[std::size_t(m)][2]);
        const int d3 = differingBytes(recordOf(meter, MemoryRecord::Ram3), m_expected[std::size_t(m)][3]);
        if (d2 || d3) {
            ++m_mismatches;
            const auto elements = [&](MemoryRecord r) {
                return differingElements(r, recordOf(meter, r), m_expected[std::size_t(m)][slot(r)], "meter",
                                         "expected");
            };
            fail("meter memory differs from the last write it took",
                 QStringLiteral("%1, meter %2: RAM2 %3 bytes, RAM3 %4 bytes [%5] [%6]")
                     .arg(QLatin1String(when))
                     .arg(m_rig.number(m))
                     .arg(d2)
                     .arg(d3)
                     .arg(elements(MemoryRecord::Ram2), elements(MemoryRecord::Ram3)));
        }
    }
    // The window shows the records of the meter on the line where it has identified that meter and
    // the images belong to it, unless they hold records loaded or packed and not written (counted).
    const int onLine = m_rig.reachedBy(m_line);
    if (onLine >= 0 && f.model().lineMeter() == m_rig.number(onLine)) {
        for (MemoryRecord r : {MemoryRecord::Ram2, MemoryRecord::Ram3}) {
            if (f.model().imageOwner(r) != m_rig.number(onLine))
                continue;
            const Bytes image = imageOf(f.memory(), r);
            const Bytes record = recordOf(m_rig.meter(onLine), r);
            const int d = differingBytes(image, record);
            if (d && m_imagesUnwritten) {
                ++m_unwrittenShown;
                note(QStringLiteral("%1 of meter %2 holds records not written (settings loaded: %3): %4")
                         .arg(QLatin1String(memoryRecordName(r)))
                         .arg(m_rig.number(onLine))
                         .arg(QLatin1String(f.model().requests().SettingsLoaded ? "yes" : "no"),
                              differingElements(r, image, record, "window", "meter")));
            } else if (d && m_imagesShowMeter) {
                ++m_mismatches;
                // What the images hold: a settings section, or what the last press packed.
                const Commit* c = latest(r);
                const QString last = !c              ? QStringLiteral("none")
                                     : c->outcome    ? QLatin1String(outcomeName(*c->outcome))
                                     : c->superseded ? QStringLiteral("replaced")
                                                     : QStringLiteral("open");
                fail("the window's image differs from the meter's record",
                     QStringLiteral("%1: %2 of meter %3, %4 bytes: %5 (settings loaded: %6; last press #%7 "
                                    "at %8 s: %9)")
                         .arg(QLatin1String(when), QLatin1String(memoryRecordName(r)))
                         .arg(m_rig.number(onLine))
                         .arg(d)
                         .arg(differingElements(r, image, record, "window", "meter"),
                              QLatin1String(f.model().requests().SettingsLoaded ? "yes" : "no"))
                         .arg(c ? c->seq : 0)
                         .arg(c ? c->at : 0.0, 0, 'f', 1)
                         .arg(last));
            }
        }
    }
    if (m_lastDigout && *m_lastDigout != f.model().digoutByte()) {
        ++m_mismatches;
        fail("output test byte differs",
             QStringLiteral("meter %1, window %2").arg(*m_lastDigout).arg(f.model().digoutByte()));
    }
    if (m_lastDaCalib && *m_lastDaCalib != f.model().daCalCode()) {
        ++m_mismatches;
        fail("analog calibration code differs",
             QStringLiteral("meter %1, window %2").arg(*m_lastDaCalib).arg(f.model().daCalCode()));
    }
    const auto daTest = static_cast<float>(f.configPage().antestValue()->value());
    if (m_lastDaTest && *m_lastDaTest != daTest) {
        ++m_mismatches;
        fail("analog test value differs",
             QStringLiteral("meter %1, window %2").arg(*m_lastDaTest).arg(daTest));
    }
}

void Soak::judgeOpenWrites()
{
    for (MemoryRecord r : kAllMemoryRecords) {
        const Commit* c = latest(r);
        if (!c || !c->open())
            continue;
        if (!c->reached)
            lostWrite(*c, "neither reached its meter nor ended");
        if (!c->clamped.empty()) {
            ++m_unreportedDifferences;
            fail("unreported difference",
                 QStringLiteral("%1 clamped (%2) and never ended")
                     .arg(QLatin1String(memoryRecordName(r)), elementNames(c->clamped)));
        }
    }
}

void Soak::checkLineStats(const char* when)
{
    const LineStats& stats = f.engine().lineStats();
    const LineTotals& t = stats.totals();
    auto agree = [&](const char* what, std::uint64_t engine, std::uint64_t other) {
        if (engine != other)
            fail("line statistics differ", QStringLiteral("%1 (%2): the engine counted %3, the soak %4")
                                               .arg(QLatin1String(what), QLatin1String(when))
                                               .arg(engine)
                                               .arg(other));
    };
    // Exactly what the monitor showed and the ports carried.
    agree("requests against the monitor's requests", t.requests, std::uint64_t(m_requests));
    agree("requests against the ports' writes", t.requests, std::uint64_t(m_rig.portWrites));
    agree("complete frames against the monitor's", t.answers + t.crcErrors + t.tooShort,
          std::uint64_t(m_frames));
    agree("CRC errors against the monitor's CRC NOTOK", t.crcErrors, std::uint64_t(m_badCrcFrames));
    agree("short answers against the monitor's", t.tooShort, std::uint64_t(m_shortAnswers));
    agree("time-outs against the monitor's", t.timeouts, std::uint64_t(m_timeouts));
    agree("bytes received against the ports' deliveries", t.bytesReceived, m_rig.portDelivered);
    // Every byte is in a frame, thrown away or held; every request has ended or is awaited.
    agree("bytes received against framed + dropped + held", t.bytesReceived,
          t.frameBytes + t.strayBytes + std::uint64_t(f.engine().state().Stored));
    agree("requests against exchanges ended + awaited", t.requests,
          stats.exchangesEnded() + (stats.awaiting() ? 1 : 0));
    // A meter hears only requests the window sent, and a good frame comes only from an answer
    // that a meter sent whole.
    std::uint64_t sent = 0;
    std::uint64_t taken = 0;
    std::uint64_t whole = 0;
    for (int k = 1; k <= kCommandCount; ++k) {
        std::uint64_t heard = 0;
        for (int m = 0; m < 2; ++m)
            heard += std::uint64_t(m_rig.meter(m).stats().byCode[std::size_t(k)]);
        sent += stats.command(k).sent;
        taken += heard;
        if (heard > stats.command(k).sent)
            fail("a meter took more requests than the engine sent", QStringLiteral("%1: %2 taken, %3 sent")
                                                                        .arg(QLatin1String(commandName(k)))
                                                                        .arg(heard)
                                                                        .arg(stats.command(k).sent));
    }
    for (int m = 0; m < 2; ++m) {
        const MeterStats& ms = m_rig.meter(m).stats();
        whole += std::uint64_t(ms.requests - ms.dropped - ms.corrupted);
    }
    agree("requests against the sum over the commands", t.requests, sent);
    if (taken > t.requests)
        fail("the meters took more requests than the engine sent", QLatin1String(when));
    if (t.answers > whole)
        fail("more good answers than the meters sent whole",
             QStringLiteral("%1 (%2 against %3)").arg(QLatin1String(when)).arg(t.answers).arg(whole));
}

int Soak::run()
{
    f.configFiles().setSettingsDir(m_dir.path());
    // The window tells the user of every write that did not end verified; any other message is a
    // fault. The outcome's message comes just before the soak hears of the outcome itself.
    f.prompts().showError = [this](const QString& t) {
        m_unclaimedMessages << t;
        QTimer::singleShot(0, &m_context, [this] {
            for (const QString& text : std::as_const(m_unclaimedMessages)) {
                ++m_errors;
                fail("error shown", text);
            }
            m_unclaimedMessages.clear();
        });
    };
    f.prompts().refuseDevice = [this](const QString& t) {
        ++m_errors;
        fail("device refused", t);
    };
    f.prompts().showFileError = [this](const QString& t, const QString& reason) {
        ++m_fileErrors;
        fail("file error", t + QStringLiteral(" ") + reason);
    };
    f.prompts().runDialog = [](QDialog&) { return false; };
    f.prompts().chooseFile = [](const FileRequest&) { return QString(); };
    // Every write is reviewed (the soak's user declines another meter's records, and so knows
    // what each press commits); no backups.
    f.model().setReviewer([this](const WriteProposal& p) { return review(p); });
    f.model().setHistory(nullptr);
    f.show();
    watch();
    m_clock.start();
    for (int line = 0; line < 2; ++line)
        if (m_rig.server(line) && !m_rig.server(line)->listening()) {
            std::fprintf(stderr, "the device server of line %d does not listen on loopback\n", line + 1);
            return 2;
        }
    networkTime();
    f.openPortByName(m_rig.portName(0));
    if (m_rig.server(0) ? !dynamic_cast<NetworkPort*>(f.link().port())
                        : !dynamic_cast<VirtualMeterPort*>(f.link().port())) {
        std::fprintf(stderr, "%s did not open the soak's port\n", qPrintable(m_rig.portName(0)));
        return 2;
    }
    f.evaluatePassword(52806);
    if (!waitFor([&] { return f.model().configWritable(); }, 60)) {
        std::printf("FAIL: the configuration records were not read within 60 s\n");
        return 1;
    }

    const FaultProfile& faults = m_rig.meter(0).config().faults;
    std::printf("fault soak: %s meters, faults drop=%.2f crc=%.2f late=%.2f split=%.2f garbage=%.2f "
                "latewrite=%.2f, seed %u, %.0f s; meter %u clamps %s\n",
                m_opt.paced ? "paced" : "unpaced", faults.drop, faults.crc, faults.late, faults.split,
                faults.garbage, faults.lateWrite, m_opt.seed, m_opt.seconds, m_rig.number(0), qPrintable([&] {
                    QStringList c;
                    for (const FieldClamp& k : m_rig.meter(0).config().clamps)
                        c << k.toString();
                    return c.join(QLatin1Char(' '));
                }()));
    std::printf("lines: %s %s, %s %s\n", lineKindName(m_rig.kinds[0]), qPrintable(m_rig.portName(0)),
                lineKindName(m_rig.kinds[1]), qPrintable(m_rig.portName(1)));
    std::fflush(stdout);

    double nextCheckpoint = 10;
    while (now() < m_opt.seconds) {
        const int action = pick(100);
        int kind = 0;
        if (action < 19)
            kind = 0, changePage();
        else if (action < 39)
            kind = 1, editAndWrite();
        else if (action < 49)
            kind = 2, calibrate();
        else if (action < 58)
            kind = 3, testOutputs();
        else if (action < 63)
            kind = 4, analogTest();
        else if (action < 68)
            kind = 5, clearEnergy();
        else if (action < 75)
            kind = 6, service();
        else if (action < 82)
            kind = 7, settingsRoundTrip();
        else if (action < 91)
            kind = 8, readConfig();
        else if (action < 96)
            kind = 9, moveCable();
        else
            kind = 10, switchPort();
        ++m_actionCounts[std::size_t(kind)];
        ++m_actions;
        if (m_opt.verbose)
            std::printf("%7.2f s  action %d done\n", now(), kind);
        pause(pick(2) ? pick(60) : 100 + pick(900));
        if (now() >= nextCheckpoint) {
            nextCheckpoint = now() + 10;
            if (waitFor([&] { return quiet(); }, 60)) {
                ++m_checkpoints;
                verify("checkpoint");
                checkLineStats("checkpoint");
            } else {
                ++m_checkpointsMissed;
            }
        }
    }

    // The line heals; a page change reads the records once more (unless a file was loaded).
    const double settleFrom = now();
    waitFor([&] { return !m_moving; }, 5);
    for (int m = 0; m < 2; ++m)
        m_rig.meter(m).setFaults({});
    f.activatePage(QStringLiteral("TabSheet_Config"));
    const bool settled = waitFor([&] { return quiet(); }, m_opt.settle);
    pause(500); // late answers still on the way
    const bool stillQuiet = quiet();
    if (settled && stillQuiet)
        verify("end");
    judgeOpenWrites();
    checkLineStats("end");
    QStringList pending;
    for (int k : kOneShot)
        if (f.engine().flag(k))
            pending << QLatin1String(commandName(k));
    if (f.model().requests().ServiceCode != 0)
        pending << QStringLiteral("service code");
    if (!pending.isEmpty())
        fail("one-shot requests unanswered after the settle", pending.join(QStringLiteral(", ")));

    std::printf("actions %d: pages %d, writes %d, calibration %d, outputs %d, analog test %d, energy %d, "
                "service %d, settings %d, reads %d, cable moves %d, port changes %d\n",
                m_actions, m_actionCounts[0], m_actionCounts[1], m_actionCounts[2], m_actionCounts[3],
                m_actionCounts[4], m_actionCounts[5], m_actionCounts[6], m_actionCounts[7], m_actionCounts[8],
                m_actionCounts[9], m_actionCounts[10]);
    const LineStats& line = f.engine().lineStats();
    const LineTotals& t = line.totals();
    std::printf(
        "line statistics: %llu requests sent, %llu good answers, %llu time-outs, %llu CRC errors, %llu "
        "answers too short, %llu frames with no request outstanding, %llu exchanges cut by a port "
        "change, %llu of %llu bytes received dropped as stray\n",
        (unsigned long long)t.requests, (unsigned long long)t.answers, (unsigned long long)t.timeouts,
        (unsigned long long)t.crcErrors, (unsigned long long)t.tooShort, (unsigned long long)t.lateFrames,
        (unsigned long long)t.abandoned, (unsigned long long)t.strayBytes,
        (unsigned long long)t.bytesReceived);
    QStringList times;
    for (int k = 1; k <= kCommandCount; ++k) {
        const AnswerTimes& a = line.command(k).times;
        if (a.count() > 0)
            times << QStringLiteral("%1 %2/%3/%4")
                         .arg(QLatin1String(commandName(k)))
                         .arg(double(a.least()) / 1000, 0, 'f', 1)
                         .arg(double(a.median()) / 1000, 0, 'f', 1)
                         .arg(double(a.most()) / 1000, 0, 'f', 1);
    }
    std::printf("answer times in ms (least/median/most): %s\n", qPrintable(times.join(QStringLiteral(", "))));
    for (int m = 0; m < 2; ++m) {
        const MeterStats& s = m_rig.meter(m).stats();
        std::printf("meter %u took %d requests; faults injected: %d dropped, %d bad CRC, %d late (%d write "
                    "acknowledgements), %d split, %d with stray bytes; %d writes clamped\n",
                    m_rig.number(m), s.requests, s.dropped, s.corrupted, s.late, s.lateWrites, s.split,
                    s.garbage, s.clamped);
    }
    std::printf(
        "writes confirmed: RAM1 %d, RAM2 %d, RAM3 %d, outputs %d, analog calibration %d, analog test %d "
        "(write frames sent: RAM1 %d, RAM2 %d, RAM3 %d)\n",
        m_confirmed[Write_RAM1], m_confirmed[Write_RAM2], m_confirmed[Write_RAM3], m_confirmed[Write_Digout],
        m_confirmed[Write_DAcalib], m_confirmed[Write_DAtest], m_writeFrames[Write_RAM1],
        m_writeFrames[Write_RAM2], m_writeFrames[Write_RAM3]);
    std::printf("commits %d; outcomes: verified %d, differs %d, not acknowledged %d, other meter %d; clamped "
                "writes %d (%d ended unacknowledged); %d outcome messages; cable moves done %d, ports "
                "picked %d\n",
                m_commitCount, m_outcomes[std::size_t(WriteOutcome::Verified)],
                m_outcomes[std::size_t(WriteOutcome::Differs)],
                m_outcomes[std::size_t(WriteOutcome::NotAcknowledged)],
                m_outcomes[std::size_t(WriteOutcome::OtherMeter)], m_clampedWrites, m_clampedUnacknowledged,
                m_outcomeMessages, m_moves, m_portSwitches);
    if (m_rig.server(0) || m_rig.server(1)) {
        networkTime();
        int connections = 0;
        int cuts = 0;
        for (int line = 0; line < 2; ++line)
            if (const Bridge* server = m_rig.server(line)) {
                connections += int(server->connection());
                cuts += server->cuts;
            }
        std::printf(
            "network: %.0f s on a network line; %d connections made, %d cut (%d with a write owed, %d "
            "with the cable then moved to the other meter); the window lost %d and made %d again\n",
            m_networkSeconds, connections, cuts, m_cutsOwed, m_movesWhileDown, m_losses, m_reconnections);
    }
    std::printf("reviews %d (%d of another meter's records declined)\n", m_reviews, m_foreignDeclined);
    std::printf("checkpoints verified %d (%d found requests still open after 60 s); settled in %.1f s%s\n",
                m_checkpoints, m_checkpointsMissed, now() - settleFrom, settled ? "" : " (did NOT settle)");
    std::printf(
        "writes to the wrong meter %d, lost writes %d, unreported differences %d, outcomes misstating "
        "the meter %d, outcomes for no owed write %d, outcomes the user was not told of %d\n",
        m_wrongMeter, m_lostWrites, m_unreportedDifferences, m_misstatedOutcomes, m_strayOutcomes,
        m_silentOutcomes);
    std::printf(
        "mismatches %d, stale writes %d, uncommitted writes %d, writes without a record %d, monitor "
        "overflows %d (most lines %d), settings round trips differing %d, errors shown %d, file errors %d; "
        "images found at checkpoints holding records loaded or packed and not written: %d\n",
        m_mismatches, m_staleWrites, m_uncommittedWrites, m_unheldWrites, m_monitorOverflows,
        m_maxMonitorLines, m_settingsRoundTripDiffs, m_errors, m_fileErrors, m_unwrittenShown);
    if (m_failures > 0 || !settled || !stillQuiet) {
        std::printf("FAIL: %d faults found\n", m_failures + (settled && stillQuiet ? 0 : 1));
        return 1;
    }
    std::printf("PASS\n");
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    const std::optional<Options> parsed = parse(argc, argv);
    if (!parsed) {
        std::fprintf(stderr,
                     "usage: bench_fault_soak [--seconds S] [--seed N] [--settle S] [--paced] [--verbose] "
                     "[--lines serial|tcp|rfc2217,serial|tcp|rfc2217]\n");
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // The password store and the settings stay out of the user's own.
    QStandardPaths::setTestModeEnabled(true);

    Rig rig(parsed->seed, parsed->paced, parsed->lines);
    TForm1::Options options(parsed->paced);
    options.ports = rig.ports();
    TForm1 form(options);
    return Soak(*parsed, form, rig).run();
}
