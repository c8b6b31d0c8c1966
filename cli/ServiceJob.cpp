#include "cli/ServiceJob.h"

#include "measure/ViewRecords.h"
#include "protocol/ServiceCodes.h"
#include "texts/Language.h"

namespace kvam::cli {

QString ServiceJob::what() const
{
    return QStringLiteral("energy counters");
}

void ServiceJob::started()
{
    DeviceModel& model = m_s.model();
    connect(&model, &DeviceModel::stateChanged, this, [this] {
        // The answer to the state request that carried the code: the first after it went out.
        if (m_phase == Phase::CodeSent)
            m_phase = Phase::Answered;
    });
    connect(&model, &DeviceModel::ram2Changed, this, [this] { m_ram2After = true; });
    connect(&model, &DeviceModel::ram3Changed, this, [this] { m_ram3After = true; });
    // The counters are read as long as the command runs (the start-up reads go on beside them).
    if (m_o.service == Service::ClearEnergy)
        m_s.driver().engine().setFlag(Read_RAM1, true);
}

bool ServiceJob::submit()
{
    return m_s.model().clearEnergy();
}

void ServiceJob::step()
{
    if (m_o.service == Service::ClearEnergy) {
        if (m_s.model().energyClearable())
            WritingJob::step();
        return;
    }
    if (!identified())
        return;
    const std::optional<MeterRecords> records = readyRecords();
    DeviceModel& model = m_s.model();
    switch (m_phase) {
    case Phase::Idle:
        if (!records)
            return;
        m_before = *records;
        model.requestService(code());
        m_phase = Phase::Asked;
        return;
    case Phase::Asked:
        if (model.requests().ServiceCode == 0)
            m_phase = Phase::CodeSent;
        return;
    case Phase::CodeSent:
        return;
    case Phase::Answered:
        if (code() == kServiceClearErrors)
            return reportErrors();
        m_ram2After = m_ram3After = false;
        model.ReadRamClick();
        m_phase = Phase::Reading;
        return;
    case Phase::Reading:
        if (m_ram2After && m_ram3After && records)
            reportRecords(*records);
        return;
    }
}

std::uint8_t ServiceJob::code() const
{
    switch (m_o.service) {
    case Service::ClearErrors:
        return kServiceClearErrors;
    case Service::UserDefaults:
        return kServiceUserDefaults;
    case Service::FactoryDefaults:
    case Service::ClearEnergy:
    case Service::None:
        break;
    }
    return kServiceFactoryDefaults;
}

void ServiceJob::reportErrors()
{
    const StateRecord& st = m_s.model().state();
    // A flag whose condition still stands is latched again at once: only the others count.
    const quint32 left = staticErrors(st) & ~dynamicErrors(st);
    const Status status = left ? Status::Differs : Status::Ok;
    presenter().errorsCleared(
        origin(), ErrorsCleared{errorFlagNames(staticErrors(st)), errorFlagNames(dynamicErrors(st))}, status);
    finish(status, left ? QStringLiteral("static errors still latched: %1")
                              .arg(errorFlagNames(left).join(QStringLiteral(", ")))
                        : QString());
}

void ServiceJob::reportRecords(const MeterRecords& after)
{
    std::vector<FieldChange> changes = diffRecord(MemoryRecord::Ram2, *m_before.ram2, *after.ram2);
    for (const FieldChange& c : diffRecord(MemoryRecord::Ram3, *m_before.ram3, *after.ram3))
        changes.push_back(c);
    presenter().serviceDone(origin(), ServiceChanges{m_o.service, changes});
    finish(Status::Ok);
}

} // namespace kvam::cli
