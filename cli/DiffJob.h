#pragma once

#include "cli/Job.h"

namespace kvam::cli {

/// diff: the fields in which a settings section differs from the meter.
class DiffJob : public Job
{
public:
    using Job::Job;

private:
    bool precheck() override;
    void step() override;
};

} // namespace kvam::cli
