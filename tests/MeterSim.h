#pragma once

// kvam-meter-sim as the end-to-end tests start and stop it (KVAM_METER_SIM is its path).

#include <QProcess>
#include <QString>
#include <QStringList>

namespace kvam::test {

/// Starts kvam-meter-sim with `args` and returns its pseudo-terminal path (empty on failure).
inline QString startMeter(QProcess& sim, const QStringList& args)
{
    sim.start(QStringLiteral(KVAM_METER_SIM), args);
    if (!sim.waitForStarted(5000))
        return {};
    for (int i = 0; i < 100 && !sim.canReadLine(); ++i)
        sim.waitForReadyRead(100);
    return QString::fromLocal8Bit(sim.readLine()).trimmed();
}

inline void stopMeter(QProcess& sim)
{
    sim.terminate();
    if (!sim.waitForFinished(5000))
        sim.kill();
}

} // namespace kvam::test
