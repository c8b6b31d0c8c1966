#pragma once

#include "cli/Job.h"
#include "cli/Shared.h"

#include <memory>

namespace kvam::cli {

/// The job of the command the options name, on one meter.
std::unique_ptr<Job> makeJob(MeterSession& session, Shared& shared);

/// The ports command: no meter is opened.
Status listPorts(Shared& shared);

/// What is left to do once every meter's job has ended; the status it adds.
Status endJobs(Shared& shared);

} // namespace kvam::cli
