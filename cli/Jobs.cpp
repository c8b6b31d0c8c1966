#include "cli/Jobs.h"

#include "cli/DiffJob.h"
#include "cli/InfoJob.h"
#include "cli/LogJob.h"
#include "cli/ReadJob.h"
#include "cli/RestoreJob.h"
#include "cli/ServiceJob.h"
#include "cli/WatchJob.h"
#include "cli/WriteJobs.h"

#include <QSerialPortInfo>

namespace kvam::cli {

std::unique_ptr<Job> makeJob(MeterSession& session, Shared& shared)
{
    switch (shared.options.command) {
    case Command::Info:
        return std::make_unique<InfoJob>(session, shared);
    case Command::Read:
        return std::make_unique<ReadJob>(session, shared);
    case Command::Diff:
        return std::make_unique<DiffJob>(session, shared);
    case Command::Write:
        return std::make_unique<WriteJob>(session, shared);
    case Command::Restore:
        return std::make_unique<RestoreJob>(session, shared);
    case Command::Watch:
        return std::make_unique<WatchJob>(session, shared);
    case Command::Log:
        return std::make_unique<LogJob>(session, shared);
    case Command::Service:
        return std::make_unique<ServiceJob>(session, shared);
    case Command::Ports:
        break;
    }
    return nullptr;
}

Status listPorts(Shared& shared)
{
    shared.presenter->ports(QSerialPortInfo::availablePorts());
    return Status::Ok;
}

Status endJobs(Shared& shared)
{
    return ReadJob::saveCollected(shared);
}

} // namespace kvam::cli
