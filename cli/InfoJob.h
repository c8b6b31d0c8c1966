#pragma once

#include "cli/Job.h"

namespace kvam::cli {

/// info: the meter's identity, its fitted modules, the errors it reports and its inputs and outputs.
class InfoJob : public Job
{
public:
    using Job::Job;

private:
    void started() override;
    void step() override;

    bool m_stateSeen = false;
};

} // namespace kvam::cli
