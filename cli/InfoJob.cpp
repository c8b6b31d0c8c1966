#include "cli/InfoJob.h"

#include "measure/ViewRecords.h"
#include "texts/Language.h"

namespace kvam::cli {

void InfoJob::started()
{
    m_s.driver().engine().setFlag(Read_State, true);
    connect(&m_s.model(), &DeviceModel::stateChanged, this, [this] { m_stateSeen = true; });
}

void InfoJob::step()
{
    // Only RAM3 is shown (the modules), with the state record read since the start.
    const DeviceModel& model = m_s.model();
    if (!identified() || !m_stateSeen || !model.ram3Held())
        return;
    const StateRecord& st = model.state();
    const quint16 modules = get(model.memory().ram3, ram3::Modulconfig);
    MeterInfo info;
    info.version = model.version();
    info.modules = {itemTextOf("Modul1box", modules & 15), itemTextOf("Modul2box", (modules >> 4) & 15)};
    info.dynamicErrors = errorFlagNames(dynamicErrors(st));
    info.staticErrors = errorFlagNames(staticErrors(st));
    info.errorLed = errorLedLit(st);
    info.inputs = {ioActive(st, kIoInput1), ioActive(st, kIoInput2), ioActive(st, kIoInput3)};
    info.outputs = {ioActive(st, kIoOutput1), ioActive(st, kIoOutput2)};
    presenter().info(origin(), info);
    finish(Status::Ok);
}

} // namespace kvam::cli
