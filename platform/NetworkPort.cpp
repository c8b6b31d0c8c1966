#include "platform/NetworkPort.h"

#include "texts/UiTexts.h"

#include <QHostAddress>
#include <QRegularExpression>

#if defined(Q_OS_WIN)
// winsock2.h first: mstcpip.h needs its types.
#include <winsock2.h>

#include <mstcpip.h>
#elif defined(Q_OS_UNIX)
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#endif

namespace kvam {

namespace {

constexpr char kTcpScheme[] = "tcp://";
constexpr char kRfc2217Scheme[] = "rfc2217://";

// A dead peer is noticed within about ten seconds, idle or not: keep-alive probes after 5 s of
// silence every 2 s, three unanswered end it; data left unacknowledged for 10 s ends it too.
void tuneKeepAlive(qintptr descriptor)
{
    if (descriptor < 0)
        return;
#if defined(Q_OS_WIN)
    tcp_keepalive values{1, 5000, 2000};
    DWORD returned = 0;
    WSAIoctl(SOCKET(descriptor), SIO_KEEPALIVE_VALS, &values, sizeof values, nullptr, 0, &returned, nullptr,
             nullptr);
#elif defined(Q_OS_UNIX)
    const int fd = int(descriptor);
    auto set = [fd](int option, int value) { ::setsockopt(fd, IPPROTO_TCP, option, &value, sizeof value); };
#ifdef TCP_KEEPIDLE
    set(TCP_KEEPIDLE, 5);
#endif
#ifdef TCP_KEEPINTVL
    set(TCP_KEEPINTVL, 2);
#endif
#ifdef TCP_KEEPCNT
    set(TCP_KEEPCNT, 3);
#endif
#ifdef TCP_USER_TIMEOUT
    set(TCP_USER_TIMEOUT, 10000);
#endif
#else
    Q_UNUSED(descriptor)
#endif
}

/// The kernel's smoothed round-trip time of the connection in milliseconds, rounded up; none
/// where the system does not tell it.
std::optional<int> kernelRoundTripMs(qintptr descriptor)
{
#if defined(Q_OS_LINUX)
    tcp_info info{};
    socklen_t size = sizeof info;
    if (descriptor >= 0 && ::getsockopt(int(descriptor), IPPROTO_TCP, TCP_INFO, &info, &size) == 0 &&
        info.tcpi_rtt > 0)
        return int((info.tcpi_rtt + 999) / 1000);
#else
    Q_UNUSED(descriptor)
#endif
    return std::nullopt;
}

// Linux: what arrives is acknowledged at once, not up to 40 ms later. A server that keeps Nagle's
// algorithm on (ser2net does unless told otherwise) holds the rest of an answer until the first
// part is acknowledged, so a delayed acknowledgement would stall every answer that comes in two
// parts. The mode lapses by itself, so it is set again after every read.
void acknowledgeAtOnce(qintptr descriptor)
{
#if defined(Q_OS_LINUX) && defined(TCP_QUICKACK)
    if (descriptor < 0)
        return;
    const int on = 1;
    ::setsockopt(int(descriptor), IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
#else
    Q_UNUSED(descriptor)
#endif
}

QString seconds(int ms)
{
    return QString::number(ms / 1000.0, 'g', 3);
}

} // namespace

QString NetworkAddress::name() const
{
    const QString h = host.contains(QLatin1Char(':')) ? QStringLiteral("[%1]").arg(host) : host;
    return QStringLiteral("%1%2:%3").arg(QLatin1String(rfc2217 ? kRfc2217Scheme : kTcpScheme), h).arg(port);
}

bool isNetworkPortName(const QString& name)
{
    return name.startsWith(QLatin1String(kTcpScheme), Qt::CaseInsensitive) ||
           name.startsWith(QLatin1String(kRfc2217Scheme), Qt::CaseInsensitive);
}

std::optional<NetworkAddress> parseNetworkAddress(const QString& name, QString* error)
{
    auto fail = [&](const char* key) -> std::optional<NetworkAddress> {
        if (error)
            *error = currentText(key).arg(name);
        return std::nullopt;
    };
    NetworkAddress a;
    QString rest;
    if (name.startsWith(QLatin1String(kTcpScheme), Qt::CaseInsensitive)) {
        rest = name.mid(int(std::size(kTcpScheme)) - 1);
    } else if (name.startsWith(QLatin1String(kRfc2217Scheme), Qt::CaseInsensitive)) {
        a.rfc2217 = true;
        rest = name.mid(int(std::size(kRfc2217Scheme)) - 1);
    } else {
        return fail("Network.BadAddress");
    }
    QString portText;
    if (rest.startsWith(QLatin1Char('['))) {
        const int close = rest.indexOf(QLatin1Char(']'));
        if (close < 0 || rest.mid(close + 1, 1) != QLatin1String(":"))
            return fail("Network.BadAddress");
        a.host = rest.mid(1, close - 1);
        QHostAddress literal;
        if (!literal.setAddress(a.host) || literal.protocol() != QAbstractSocket::IPv6Protocol)
            return fail("Network.BadAddress");
        portText = rest.mid(close + 2);
    } else {
        const int colon = rest.lastIndexOf(QLatin1Char(':'));
        if (colon <= 0)
            return fail("Network.BadAddress");
        a.host = rest.left(colon);
        portText = rest.mid(colon + 1);
        // A name or an IPv4 address: an IPv6 address must stand in brackets, or its last group
        // would be taken for the port.
        static const QRegularExpression kHost(QStringLiteral("^[A-Za-z0-9]([A-Za-z0-9._-]*[A-Za-z0-9])?$"));
        if (!kHost.match(a.host).hasMatch())
            return fail("Network.BadAddress");
    }
    static const QRegularExpression kDigits(QStringLiteral("^[0-9]{1,5}$"));
    if (!kDigits.match(portText).hasMatch())
        return fail(portText.isEmpty() ? "Network.BadAddress" : "Network.BadPortNumber");
    const int port = portText.toInt();
    if (port < 1 || port > 65535)
        return fail("Network.BadPortNumber");
    a.port = quint16(port);
    return a;
}

NetworkPort::NetworkPort(QObject* parent) : SerialPort(parent)
{
    m_clock.start();
    for (QTimer* t : {&m_connectTimer, &m_retryTimer, &m_txEmptyTimer}) {
        t->setSingleShot(true);
        t->setTimerType(Qt::PreciseTimer);
    }
    connect(&m_txEmptyTimer, &QTimer::timeout, this, &SerialPort::txEmpty);
    connect(&m_retryTimer, &QTimer::timeout, this, &NetworkPort::connectNow);
    connect(&m_connectTimer, &QTimer::timeout, this, [this] {
        if (!m_socket || m_socket->state() != QAbstractSocket::ConnectedState) {
            onSocketFailed(currentText("Network.ConnectTimeout").arg(seconds(kConnectTimeoutMs)));
            return;
        }
        if (m_telnet.comPort() != TelnetClient::ComPort::Accepted) {
            NetworkAddress raw = m_address;
            raw.rfc2217 = false;
            onSocketFailed(
                currentText("Network.No2217Answer").arg(seconds(kNegotiationTimeoutMs), raw.name()));
            return;
        }
        // The option was taken but not every setting confirmed: the line is used as it is.
        emit note(
            currentText("Network.NoSettingsAnswer").arg(m_address.name(), m_telnet.serverSettings().text()));
        becomeUp();
    });
}

NetworkPort::~NetworkPort()
{
    dropSocket();
}

std::optional<QString> NetworkPort::open(const QString& name)
{
    close();
    QString error;
    const std::optional<NetworkAddress> address = parseNetworkAddress(name, &error);
    if (!address)
        return error;
    m_address = *address;
    m_status = PortStatus::Connecting;
    m_wasUp = false;
    m_retryMs = kFirstRetryMs;
    connectNow();
    return std::nullopt;
}

void NetworkPort::close()
{
    m_retryTimer.stop();
    m_connectTimer.stop();
    m_txEmptyTimer.stop();
    dropSocket();
    m_status = PortStatus::Closed;
}

bool NetworkPort::write(const QByteArray& data)
{
    if (m_status == PortStatus::Closed)
        return false;
    // Lost with the connection, as on a cut cable: the answer times out.
    if (m_status == PortStatus::Up && m_socket)
        m_socket->write(m_address.rfc2217 ? m_telnet.escape(data) : data);
    // The far end sends the bytes at the meter's rate, behind whatever is still on its line.
    const qint64 now = m_clock.elapsed();
    m_lineFreeAtMs = std::max(now, m_lineFreeAtMs) + lineTimeMs(data.size());
    m_txEmptyTimer.start(int(m_lineFreeAtMs - now));
    return true;
}

void NetworkPort::connectNow()
{
    dropSocket();
    m_telnet = TelnetClient{};
    m_settingsSent = false;
    m_greetingSeen = false;
    m_socket = std::make_unique<QTcpSocket>();
    QTcpSocket* s = m_socket.get();
    connect(s, &QTcpSocket::hostFound, this, [this] { m_connectStartedMs = m_clock.elapsed(); });
    connect(s, &QTcpSocket::connected, this, &NetworkPort::onConnected);
    connect(s, &QTcpSocket::readyRead, this, &NetworkPort::onReadyRead);
    connect(s, &QTcpSocket::errorOccurred, this, [this, s] { onSocketFailed(s->errorString()); });
    connect(s, &QTcpSocket::disconnected, this, [this, s] { onSocketFailed(s->errorString()); });
    m_connectStartedMs = m_clock.elapsed();
    m_connectTimer.start(kConnectTimeoutMs);
    s->connectToHost(m_address.host, m_address.port);
}

int NetworkPort::roundTripMs() const
{
    // The kernel's estimate follows the connection; where there is none, the handshake's time
    // (which a busy event loop may lengthen) stands.
    int ms = m_roundTripMs;
    if (m_status == PortStatus::Up && m_socket)
        ms = kernelRoundTripMs(m_socket->socketDescriptor()).value_or(ms);
    return std::min(ms, kLongestRoundTripMs);
}

void NetworkPort::onConnected()
{
    // The handshake took one round trip: the time every answer takes longer than on a cable.
    m_roundTripMs = int(m_clock.elapsed() - m_connectStartedMs);
    m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    m_socket->setSocketOption(QAbstractSocket::KeepAliveOption, 1);
    tuneKeepAlive(m_socket->socketDescriptor());
    acknowledgeAtOnce(m_socket->socketDescriptor());
    if (!m_address.rfc2217) {
        becomeUp();
        return;
    }
    m_connectTimer.start(kNegotiationTimeoutMs);
    m_socket->write(m_telnet.start());
}

void NetworkPort::onReadyRead()
{
    if (!m_socket)
        return;
    QByteArray bytes = m_socket->readAll();
    acknowledgeAtOnce(m_socket->socketDescriptor());
    if (m_address.rfc2217) {
        QByteArray reply;
        bytes = m_telnet.feed(bytes, reply);
        if (!reply.isEmpty())
            m_socket->write(reply);
        if (m_status != PortStatus::Up) {
            negotiationStep();
            if (!m_socket)
                return;
        }
    }
    // A Telnet server greets with its option negotiation before anything was asked: over raw TCP
    // those bytes (and every doubled 0xFF after them) would reach the meter's frames.
    if (!m_address.rfc2217 && !m_greetingSeen && bytes.size() >= 2 &&
        std::uint8_t(bytes[0]) == TelnetClient::kIac && std::uint8_t(bytes[1]) >= TelnetClient::kWill) {
        NetworkAddress telnet = m_address;
        telnet.rfc2217 = true;
        emit note(currentText("Network.TelnetOnRaw").arg(m_address.name(), telnet.name()));
    }
    m_greetingSeen = true;
    // Bytes before the port is up answer no request of ours.
    if (m_status == PortStatus::Up && !bytes.isEmpty())
        emit received(bytes);
}

void NetworkPort::negotiationStep()
{
    switch (m_telnet.comPort()) {
    case TelnetClient::ComPort::Refused: {
        NetworkAddress raw = m_address;
        raw.rfc2217 = false;
        onSocketFailed(currentText("Network.Refused2217").arg(raw.name()));
        return;
    }
    case TelnetClient::ComPort::Asked:
        return;
    case TelnetClient::ComPort::Accepted:
        break;
    }
    if (!m_settingsSent) {
        m_settingsSent = true;
        m_socket->write(TelnetClient::lineSettings(kLineBaud));
        return;
    }
    const TelnetClient::ServerSettings& set = m_telnet.serverSettings();
    if (!set.complete())
        return;
    emit note(currentText(set.matches(kLineBaud) ? "Network.ServerSettings" : "Network.SettingsDiffer")
                  .arg(m_address.name(), set.text()));
    becomeUp();
}

void NetworkPort::becomeUp()
{
    m_connectTimer.stop();
    m_status = PortStatus::Up;
    m_wasUp = true;
    m_upSinceMs = m_clock.elapsed();
    m_lineFreeAtMs = 0;
    emit connectionUp();
}

void NetworkPort::onSocketFailed(const QString& reason)
{
    if (m_status == PortStatus::Closed)
        return;
    dropSocket();
    m_connectTimer.stop();
    m_txEmptyTimer.stop();
    if (!m_wasUp) {
        // The first connection: the one who opened the port hears why, and it is closed.
        m_status = PortStatus::Closed;
        emit openFailed(reason);
        return;
    }
    const bool wasUp = m_status == PortStatus::Up;
    // The back-off starts again only after a connection that lasted: a server that takes the
    // connection and drops it at once is not asked twice a second for ever.
    if (wasUp && m_clock.elapsed() - m_upSinceMs >= kSteadyMs)
        m_retryMs = kFirstRetryMs;
    m_status = PortStatus::Reconnecting;
    m_retryTimer.start(m_retryMs);
    const QString wait = seconds(m_retryMs);
    m_retryMs = std::min(2 * m_retryMs, kLongestRetryMs);
    if (wasUp)
        emit connectionLost(currentText("Network.LostWhy").arg(reason, wait));
    else
        emit note(currentText("Network.RetryFailed").arg(m_address.name(), reason, wait));
}

void NetworkPort::dropSocket()
{
    if (!m_socket)
        return;
    m_socket->disconnect(this);
    m_socket->abort();
    // Dropped perhaps from inside one of its own signals: deleted once that has returned.
    m_socket.release()->deleteLater();
}

} // namespace kvam
