#include "device/WriteNotice.h"

#include <QStringList>

namespace kvam {

WriteNotice noticeOf(const JournalEntry& entry)
{
    WriteNotice n;
    switch (entry.outcome) {
    case WriteOutcome::Verified:
        n.kind = WriteNotice::Kind::Verified;
        break;
    case WriteOutcome::Differs:
        n.kind = WriteNotice::Kind::Differs;
        break;
    case WriteOutcome::NotAcknowledged:
        n.kind = WriteNotice::Kind::NotAcknowledged;
        break;
    case WriteOutcome::OtherMeter:
        n.kind = WriteNotice::Kind::OtherMeter;
        break;
    }
    n.record = entry.record;
    if (entry.Gyartasiszam)
        n.meter = entry.Gyartasiszam;
    n.other = entry.otherMeter;
    n.differences = entry.differences;
    return n;
}

QString writeNoticeText(const WriteNotice& n, Language language)
{
    auto meterText = [](const std::optional<std::uint32_t>& m) {
        return m ? QString::number(*m) : QStringLiteral("?");
    };
    const QString record = QLatin1String(memoryRecordName(n.record));
    const QString meter = meterText(n.meter);
    auto text = [&](const char* key) { return textIn(key, language); };
    switch (n.kind) {
    case WriteNotice::Kind::Verified:
        return text("Write.Verified").arg(record, meter);
    case WriteNotice::Kind::Differs:
        return text("Write.Differs")
            .arg(record, meter,
                 differenceRows(n.differences, text("Write.DiffersRow")).join(QStringLiteral("; ")));
    case WriteNotice::Kind::NotAcknowledged:
        return text("Write.NotAcknowledged").arg(record, meter);
    case WriteNotice::Kind::OtherMeter:
        return text("Write.OtherMeter").arg(record, meter, meterText(n.other));
    case WriteNotice::Kind::NoBackup:
        return text("Write.NoBackup").arg(record, meter, n.reason);
    case WriteNotice::Kind::LoadReplaced:
        return text("Write.LoadReplaced").arg(record);
    case WriteNotice::Kind::FactoryKept:
        return text("Write.FactoryKept").arg(meter, meterText(n.other));
    case WriteNotice::Kind::JournalFailed:
        return text("Write.JournalFailed").arg(meter, n.reason);
    }
    return QString();
}

} // namespace kvam
