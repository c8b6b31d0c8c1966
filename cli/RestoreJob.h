#pragma once

#include "cli/WriteJobs.h"

namespace kvam::cli {

/// restore: the meter's backups listed, or the one taken at --at written back as a write is.
class RestoreJob : public WritingJob
{
public:
    using WritingJob::WritingJob;

private:
    QString what() const override;
    bool precheck() override;
    bool submit() override;

    QString m_id;
};

} // namespace kvam::cli
