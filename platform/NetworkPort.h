#pragma once

#include "platform/SerialPort.h"
#include "platform/Telnet.h"

#include <QElapsedTimer>
#include <QTcpSocket>
#include <QTimer>

#include <memory>
#include <optional>

namespace kvam {

/// A meter's line reached over the network: `tcp://HOST:PORT` passes the line's bytes as they
/// are (a device server's TCP server mode, ser2net's raw accepter); `rfc2217://HOST:PORT` speaks
/// Telnet with the COM Port Control Option and asks the server for the meter's line settings.
/// HOST is a name, an IPv4 address or an IPv6 address in brackets.
struct NetworkAddress
{
    bool rfc2217 = false;
    QString host;
    quint16 port = 0;
    /// The name the address was given under, in its canonical form.
    QString name() const;
};

/// Whether `name` is meant as a network port (its scheme says so), well formed or not.
bool isNetworkPortName(const QString& name);
/// The address `name` stands for, or the reason it is not one.
std::optional<NetworkAddress> parseNetworkAddress(const QString& name, QString* error = nullptr);

/// The network port behind the SerialPort interface, so the engine stays as it is: one request
/// at a time, frames by length and CRC however TCP splits or joins them. open() only checks the
/// address and starts connecting; the port is Up once the connection (and for RFC 2217 the
/// negotiation) is made. A connection lost later is made again with a back-off of 0.5 s doubling
/// to 10 s while the port stays open; a first connection that fails closes the port again
/// (openFailed).
class NetworkPort : public SerialPort
{
    Q_OBJECT
public:
    explicit NetworkPort(QObject* parent = nullptr);
    ~NetworkPort() override;

    std::optional<QString> open(const QString& name) override;
    void close() override;
    bool isOpen() const override { return m_status != PortStatus::Closed; }
    bool write(const QByteArray& data) override;
    PortStatus status() const override { return m_status; }
    int roundTripMs() const override;

    /// What an RFC 2217 server answered to the line settings (empty over raw TCP).
    const TelnetClient::ServerSettings& serverSettings() const { return m_telnet.serverSettings(); }

    static constexpr int kConnectTimeoutMs = 5000;
    static constexpr int kNegotiationTimeoutMs = 3000;
    static constexpr int kFirstRetryMs = 500;
    static constexpr int kLongestRetryMs = 10000;
    static constexpr int kLongestRoundTripMs = 5000; ///< what the answer time-out takes of it at most
    static constexpr int kSteadyMs = 5000; ///< a connection this old restarts the back-off when lost

private:
    void connectNow();
    void onConnected();
    void onReadyRead();
    void onSocketFailed(const QString& reason);
    void negotiationStep();
    void becomeUp();
    void dropSocket();

    NetworkAddress m_address;
    std::unique_ptr<QTcpSocket> m_socket;
    TelnetClient m_telnet;
    PortStatus m_status = PortStatus::Closed;
    bool m_wasUp = false;        ///< a connection was made since open(): a loss is retried
    bool m_settingsSent = false; ///< RFC 2217: the line settings have gone to the server
    bool m_greetingSeen = false; ///< raw TCP: the connection's first bytes have been looked at
    int m_retryMs = kFirstRetryMs;
    int m_roundTripMs = 0;
    QTimer m_connectTimer; ///< the connect (and negotiation) time-out
    QTimer m_retryTimer;   ///< the next reconnection
    QTimer m_txEmptyTimer; ///< the request has left the far end's line
    QElapsedTimer m_clock;
    qint64 m_connectStartedMs = 0;
    qint64 m_lineFreeAtMs = 0;
    qint64 m_upSinceMs = 0;
};

} // namespace kvam
