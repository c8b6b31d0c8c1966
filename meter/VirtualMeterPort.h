#pragma once

#include "meter/VirtualMeter.h"
#include "platform/SerialPort.h"

#include <QElapsedTimer>

namespace kvam {

/// The in-process port behind the "DEMO" entry: a virtual meter on the far end of a virtual line.
/// With pacing, a write occupies the line for its 19200-baud line time before `txEmpty`, and the
/// answer comes a few milliseconds later in chunks as fast as the line carries them. Without pacing
/// (unit tests) everything still arrives asynchronously, through zero-time timers. A late answer
/// comes after VirtualMeter::kLateAnswerMs in either mode.
class VirtualMeterPort : public SerialPort
{
    Q_OBJECT
public:
    /// The one port name this port answers to.

    explicit VirtualMeterPort(bool pacing, VirtualMeterConfig config = {}, QObject* parent = nullptr);
    ~VirtualMeterPort() override;

    std::optional<QString> open(const QString& name) override;
    void close() override;
    bool isOpen() const override { return m_open; }
    bool write(const QByteArray& data) override;

    bool pacing() const { return m_pacing; }
    VirtualMeter& meter() { return m_meter; }
    const VirtualMeter& meter() const { return m_meter; }

private:
    void requestLeftLine(quint64 generation, const QByteArray& data);
    void sendAnswer(const MeterAnswer& answer);
    int nowMs() const { return int(m_clock.elapsed()); }

    bool m_pacing;
    VirtualMeter m_meter;
    bool m_open = false;
    quint64 m_generation = 0; // bumped by close(): deliveries scheduled before it are void
    QElapsedTimer m_clock;
    int m_txBusyUntilMs = 0;
    int m_rxBusyUntilMs = 0;
};

} // namespace kvam
