#pragma once

#include "cli/MeasuringJob.h"

namespace kvam::cli {

/// watch: one line of measurements per refresh, until interrupted or --count lines.
class WatchJob : public MeasuringJob
{
public:
    using MeasuringJob::MeasuringJob;

private:
    void step() override {}
    void measured(const NetRecord& net) override;

    int m_lines = 0;
};

} // namespace kvam::cli
