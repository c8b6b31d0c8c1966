#pragma once

#include "cli/MeasuringJob.h"

#include <QElapsedTimer>
#include <QString>

namespace kvam {
class DataLogger;
}

namespace kvam::cli {

/// log: the measurements into a file, in the window's format or as CSV, until interrupted or for
/// --seconds.
class LogJob : public MeasuringJob
{
public:
    using MeasuringJob::MeasuringJob;

private:
    void step() override;
    void startLogging();
    void write(const QByteArray& line);
    void measured(const NetRecord& net) override;

    bool m_logging = false;
    QElapsedTimer m_since;
    DataLogger* m_logger = nullptr;
    QString m_csv; ///< the CSV file; empty in the window's format
};

} // namespace kvam::cli
