#pragma once

#include "cli/Job.h"

namespace kvam::cli {

/// read: RAM2 and RAM3 as a settings section, as JSON, or RAM2 as a .user record.
class ReadJob : public Job
{
public:
    using Job::Job;

    /// read --format json -o FILE: every meter's line, the file replaced whole once all have ended.
    static Status saveCollected(Shared& shared);

private:
    void step() override;
};

} // namespace kvam::cli
