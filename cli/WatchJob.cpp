#include "cli/WatchJob.h"

#include <QDateTime>

namespace kvam::cli {

void WatchJob::measured(const NetRecord& net)
{
    presenter().measured(origin(), QDateTime::currentDateTime(), net);
    if (m_o.count > 0 && ++m_lines >= m_o.count)
        finish(Status::Ok);
}

} // namespace kvam::cli
