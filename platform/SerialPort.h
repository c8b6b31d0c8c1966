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
    virtual bool write(const QByteArray& data) = 0;

signals:
    void received(const QByteArray& bytes);
    void txEmpty();
    /// The port failed while reading (device unplugged, I/O error).
    void readFailed();
};

/// Line time of `bytes` bytes at kLineBaud, in milliseconds, rounded up.
constexpr int lineTimeMs(qsizetype bytes)
{
    return static_cast<int>((bytes * kLineBitsPerByte * 1000 + kLineBaud - 1) / kLineBaud);
}

} // namespace kvam
