#pragma once

#include "cli/Job.h"

namespace kvam::cli {

/// A job that runs on the measurements until it is stopped: it polls what the measurement page
/// polls, without the page change's second read of the records the start-up reads already bring.
class MeasuringJob : public Job
{
public:
    using Job::Job;

    void interrupt() override;

protected:
    /// A measurement record has come from the identified meter.
    virtual void measured(const NetRecord& net) = 0;

private:
    bool endless() const override { return true; }
    void started() override;
};

} // namespace kvam::cli
