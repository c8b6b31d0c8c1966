#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <optional>

namespace kvam {

/// The meter's line: 19200 baud, 8 data bits, no parity, one stop bit (10 bits a byte on the line).
inline constexpr int kLineBaud = 19200;
inline constexpr int kLineBitsPerByte = 10;

/// The port name under which the program offers its built-in virtual meter.
inline constexpr char kDemoPort[] = "DEMO";

/// Where a port stands. A serial port is Up while it is open; a network port connects first and,
/// after losing its connection, reconnects by itself while the port stays open.
enum class PortStatus
{
    Closed,
    Connecting,
    Up,
    Reconnecting
};

/// The serial line as the link engine sees it. Both events are delivered on the thread that owns the
/// port (the GUI thread): `received` whenever bytes have arrived, `txEmpty` once the last byte of a
/// write has left the line, not merely the driver.
class SerialPort : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    ~SerialPort() override = default;

    /// Opens the named port at kLineBaud 8N1, no flow control, DTR and RTS inactive.
    /// Returns the port's own error text when it cannot be opened; the port then stays closed.
    virtual std::optional<QString> open(const QString& name) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    /// Queues the whole buffer for sending. False when the port refused it (closed, vanished).
    /// Bytes written while a network port reconnects are lost, as on a cut cable.
    virtual bool write(const QByteArray& data) = 0;
    /// Whether requests can go now.
    virtual PortStatus status() const { return isOpen() ? PortStatus::Up : PortStatus::Closed; }
    /// The time a network adds to every answer: the connection's measured round trip, in
    /// milliseconds; 0 for a serial line.
    virtual int roundTripMs() const { return 0; }

signals:
    void received(const QByteArray& bytes);
    void txEmpty();
    /// The port failed while reading (device unplugged, I/O error).
    void readFailed();
    /// A network port: the connection is made (at first, or again after it was lost).
    void connectionUp();
    /// A network port lost its connection for `reason` and is reconnecting.
    void connectionLost(const QString& reason);
    /// A network port could not make its first connection; it is closed again.
    void openFailed(const QString& reason);
    /// Something the monitor should show (a server's answer to the line settings, a retry).
    void note(const QString& text);
};

/// Line time of `bytes` bytes at kLineBaud, in milliseconds, rounded up.
constexpr int lineTimeMs(qsizetype bytes)
{
    return static_cast<int>((bytes * kLineBitsPerByte * 1000 + kLineBaud - 1) / kLineBaud);
}

} // namespace kvam
