#pragma once

#include "meter/VirtualMeter.h"
#include "platform/SerialPort.h"

#include <QElapsedTimer>

#include <memory>

namespace kvam {

/// The in-process port behind the "DEMO" entry: a virtual meter on the far end of a virtual line.
/// With pacing, a write occupies the line for its 19200-baud line time before `txEmpty`, and the
/// answer comes a few milliseconds later in chunks as fast as the line carries them. Without pacing
/// (unit tests) everything still arrives asynchronously, through zero-time timers. A late answer
/// comes after VirtualMeter::kLateAnswerMs in either mode.
///
/// The port either has a meter of its own, or sits on a cable to meters that outlive it and that
/// the cable may be moved between while the port is open.
class VirtualMeterPort : public SerialPort
{
    Q_OBJECT
public:
    /// Where a line goes: a meter, or nothing while the cable is being moved.
    class Cable
    {
    public:
        explicit Cable(VirtualMeter* meter = nullptr) : m_meter(meter) {}
        VirtualMeter* meter() const { return m_meter; }
        /// Pulls the cable and plugs it into `meter` (none: left unplugged). What was on its way
        /// over the old connection is lost.
        void plug(VirtualMeter* meter)
        {
            m_meter = meter;
            ++m_connection;
        }
        /// Counts the pluggings: an answer belongs to the connection it was asked over.
        quint64 connection() const { return m_connection; }

    private:
        VirtualMeter* m_meter;
        quint64 m_connection = 0;
    };

    /// A port with a meter of its own behind the name "DEMO".
    explicit VirtualMeterPort(bool pacing, VirtualMeterConfig config = {}, QObject* parent = nullptr);
    /// A port called `name` on `cable` (which outlives the port): a request reaches the meter the
    /// cable is plugged into when the request has left the line (none: nobody answers), and an
    /// answer arrives only while that connection lasts.
    VirtualMeterPort(bool pacing, QString name, Cable& cable, QObject* parent = nullptr);
    ~VirtualMeterPort() override;

    std::optional<QString> open(const QString& name) override;
    void close() override;
    bool isOpen() const override { return m_open; }
    bool write(const QByteArray& data) override;

    bool pacing() const { return m_pacing; }
    /// The port's own meter (only for a port built with one).
    VirtualMeter& meter() { return *m_own; }
    const VirtualMeter& meter() const { return *m_own; }

private:
    void requestLeftLine(quint64 generation, const QByteArray& data);
    void sendAnswer(quint64 connection, const MeterAnswer& answer);
    int nowMs() const { return int(m_clock.elapsed()); }

    bool m_pacing;
    QString m_name;
    std::unique_ptr<VirtualMeter> m_own;
    Cable m_ownCable;
    Cable* m_cable;
    quint64 m_heardOver = 0; // the connection the previous request went over
    bool m_open = false;
    quint64 m_generation = 0; // bumped by close(): deliveries scheduled before it are void
    QElapsedTimer m_clock;
    int m_txBusyUntilMs = 0;
    int m_rxBusyUntilMs = 0;
};

} // namespace kvam
