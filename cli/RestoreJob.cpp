#include "cli/RestoreJob.h"

#include "config/MeterHistory.h"

namespace kvam::cli {

QString RestoreJob::what() const
{
    return QStringLiteral("backup %1").arg(m_id);
}

bool RestoreJob::precheck()
{
    if (!m_shared.history) {
        finish(Status::File, QStringLiteral("no history folder"));
        return false;
    }
    return true;
}

bool RestoreJob::submit()
{
    auto* history = static_cast<MeterHistory*>(m_shared.history);
    const std::uint32_t meter = *m_s.model().lineMeter();
    QString reason;
    const std::vector<BackupInfo> backups = history->backups(meter, &reason);
    if (!reason.isEmpty()) {
        finish(Status::File, reason);
        return false;
    }
    if (m_o.list) {
        presenter().backups(origin(), BackupList{history->meterFolder(meter), backups});
        finish(Status::Ok);
        return false;
    }
    const BackupInfo* chosen = nullptr;
    for (const BackupInfo& b : backups)
        if (b.id == m_o.at || b.time.toLocalTime().toString(Qt::ISODate) == m_o.at ||
            b.time.toUTC().toString(Qt::ISODate) == m_o.at)
            chosen = chosen ? chosen : &b;
    if (!chosen) {
        finish(Status::Usage, QStringLiteral("no backup at \"%1\" (restore --list shows them)").arg(m_o.at));
        return false;
    }
    m_id = chosen->id;
    const std::optional<MeterRecords> records = history->loadBackup(meter, chosen->id, &reason);
    if (!records) {
        finish(Status::File, QStringLiteral("backup %1: %2").arg(chosen->id, reason));
        return false;
    }
    return m_s.model().restore(*records);
}

} // namespace kvam::cli
