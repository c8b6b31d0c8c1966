#include "cli/MeasuringJob.h"

#include "link/PagePolls.h"

namespace kvam::cli {

void MeasuringJob::interrupt()
{
    finish(Status::Ok);
}

void MeasuringJob::started()
{
    m_s.driver().engine().CoolPageControl1Change(kMeasurementPolls);
    connect(&m_s.model(), &DeviceModel::netChanged, this, [this](const NetRecord& net) {
        if (!isDone() && identified())
            measured(net);
    });
}

} // namespace kvam::cli
