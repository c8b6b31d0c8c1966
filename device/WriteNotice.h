#pragma once

#include "device/WriteHistory.h"
#include "records/RecordDiff.h"
#include "texts/UiTexts.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace kvam {

/// Something the write session tells about a write: how it ended, or why it did not go. Data only;
/// writeNoticeText() words it.
struct WriteNotice
{
    enum class Kind : std::uint8_t
    {
        Verified,        ///< acknowledged, and the read-back holds what was written
        Differs,         ///< acknowledged, but the read-back differs: `differences`
        NotAcknowledged, ///< went out, no acknowledgement before it was given up
        OtherMeter,      ///< dropped: meter `other` answered on the line
        NoBackup,        ///< not sent: the backup or the journal cannot be written (`reason`)
        LoadReplaced,    ///< not sent: a load replaced the image before its turn
        FactoryKept,     ///< another meter's RAM3 (of `meter`) was not written into `other`: not asked for
        JournalFailed,   ///< the write ended, but its journal line cannot be written (`reason`)
    };
    Kind kind = Kind::Verified;
    MemoryRecord record = MemoryRecord::Ram2;
    std::optional<std::uint32_t> meter; ///< the meter the record belongs to
    std::optional<std::uint32_t> other; ///< the meter that answered instead, or was written into
    std::vector<FieldChange> differences;
    QString reason;

    /// A notice of `kind` about `record` of `meter`; `other` the meter that answered or was written
    /// into, `reason` the system's words.
    static WriteNotice of(Kind kind, MemoryRecord record, std::optional<std::uint32_t> meter,
                          std::optional<std::uint32_t> other = std::nullopt, const QString& reason = {})
    {
        WriteNotice n;
        n.kind = kind;
        n.record = record;
        n.meter = meter;
        n.other = other;
        n.reason = reason;
        return n;
    }
};

/// The notice of a write's outcome as the journal keeps it.
WriteNotice noticeOf(const JournalEntry& entry);

/// The one wording of a notice, in `language`: the monitor's line, the message the window shows and
/// the command line's report all say this.
QString writeNoticeText(const WriteNotice& notice, Language language);

} // namespace kvam
