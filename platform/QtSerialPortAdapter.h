#pragma once

#include "platform/SerialPort.h"

#include <QElapsedTimer>
#include <QSerialPort>
#include <QTimer>

namespace kvam {

/// A real serial device through QSerialPort. QSerialPort reports written bytes once the driver has
/// them; the transmit-empty event here waits until their line time at 19200 baud has passed, so
/// the answer time-out starts when the request has really left the wire.
class QtSerialPortAdapter : public SerialPort
{
    Q_OBJECT
public:
    explicit QtSerialPortAdapter(QObject* parent = nullptr);
    ~QtSerialPortAdapter() override;

    std::optional<QString> open(const QString& name) override;
    void close() override;
    bool isOpen() const override;
    bool write(const QByteArray& data) override;

    /// The text shown when opening fails: the port's own error, plus the group hint on Linux when
    /// the device refused us.
    static QString openErrorText(const QString& portError, bool permissionDenied, const QString& deviceGroup);

private:
    void onError(QSerialPort::SerialPortError error);

    QSerialPort m_port;
    QTimer m_txEmptyTimer;
    QElapsedTimer m_clock;
    qint64 m_lineFreeAtMs = 0;
};

} // namespace kvam
