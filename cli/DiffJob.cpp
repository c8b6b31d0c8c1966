#include "cli/DiffJob.h"

#include "cli/WriteJobs.h"

namespace kvam::cli {

bool DiffJob::precheck()
{
    QString error;
    if (!settingsFileReadable(m_o.file, m_o.section, &error)) {
        finish(Status::File, error);
        return false;
    }
    return true;
}

void DiffJob::step()
{
    const std::optional<MeterRecords> records = readyRecords();
    if (!records)
        return;
    QString error;
    const QString section = m_o.section.value_or(m_s.meterText());
    const std::optional<ComposedSection> c = composeSection(m_o, m_s.model(), section, &error);
    if (!c)
        return finish(Status::File, error);
    const Status status = c->changes.empty() ? Status::Ok : Status::Differs;
    presenter().compared(origin(), Comparison{m_o.file, section, c->changes}, status);
    finish(status);
}

} // namespace kvam::cli
