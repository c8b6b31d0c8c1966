#include "meter/FieldClamp.h"

#include "records/FieldValue.h"
#include "records/RecordLayout.h"

#include <QRegularExpression>

#include <cfloat>
#include <cmath>
#include <vector>

namespace kvam {

namespace {

/// The stored values a field of this type holds, as doubles.
struct StoredRange
{
    double low, high;
};

StoredRange storedRange(FieldType type)
{
    switch (type) {
    case FieldType::u8:
        return {0, 255};
    case FieldType::i8:
        return {-128, 127};
    case FieldType::u16:
        return {0, 65535};
    case FieldType::i16:
        return {-32768, 32767};
    case FieldType::u32:
        return {0, 4294967295.0};
    case FieldType::i32:
        return {-2147483648.0, 2147483647.0};
    case FieldType::i64:
        // Doubles beyond this no longer convert back into the type.
        return {-9.2e18, 9.2e18};
    case FieldType::f32:
        return {-double(FLT_MAX), double(FLT_MAX)};
    case FieldType::raw:
        break;
    }
    return {0, -1};
}

/// The largest stored value the clamp lets through.
double storedMaximum(const FieldClamp& clamp)
{
    const double stored = clamp.maximum * clamp.field->scale;
    // An integer element cannot hold a fraction; rounding up would let it exceed the maximum.
    return clamp.field->type == FieldType::f32 ? double(float(stored)) : std::floor(stored);
}

std::optional<MemoryRecord> memoryRecordNamed(const QString& name)
{
    for (MemoryRecord r : kAllMemoryRecords)
        if (name.compare(QLatin1String(memoryRecordName(r)), Qt::CaseInsensitive) == 0)
            return r;
    return std::nullopt;
}

} // namespace

QString FieldClamp::toString() const
{
    QString text = QStringLiteral("%1.%2").arg(QLatin1String(memoryRecordName(record)),
                                               QLatin1String(field ? field->name : "?"));
    if (index)
        text += QStringLiteral("[%1]").arg(*index);
    return text + QLatin1Char('=') + QString::number(maximum, 'g', 15);
}

ParseResult<FieldClamp> parseFieldClamp(const QString& text)
{
    ParseResult<FieldClamp> result;
    static const QRegularExpression form(QStringLiteral(
        R"(^\s*([A-Za-z0-9]+)\.([A-Za-z_][A-Za-z0-9_]*)\s*(?:\[\s*(\d+)\s*\])?\s*=\s*(\S+)\s*$)"));
    const QRegularExpressionMatch m = form.match(text);
    if (!m.hasMatch()) {
        result.error =
            QStringLiteral("clamp \"%1\" is not of the form RECORD.FIELD=MAX or RECORD.FIELD[K]=MAX")
                .arg(text);
        return result;
    }
    FieldClamp clamp;
    const std::optional<MemoryRecord> record = memoryRecordNamed(m.captured(1));
    if (!record) {
        result.error = QStringLiteral("clamp \"%1\": the meter caps only RAM1, RAM2 or RAM3, not \"%2\"")
                           .arg(text, m.captured(1));
        return result;
    }
    clamp.record = *record;
    clamp.field = memoryRecordLayout(*record).field(m.captured(2).toStdString());
    if (!clamp.field || clamp.field->type == FieldType::raw) {
        result.error = QStringLiteral("clamp \"%1\": %2 has no numeric field \"%3\"")
                           .arg(text, QLatin1String(memoryRecordName(*record)), m.captured(2));
        return result;
    }
    if (m.hasCaptured(3)) {
        bool ok = false;
        const qulonglong k = m.captured(3).toULongLong(&ok);
        if (!ok || k >= clamp.field->count) {
            result.error = QStringLiteral("clamp \"%1\": %2 has elements 0 to %3")
                               .arg(text, QLatin1String(clamp.field->name))
                               .arg(clamp.field->count - 1);
            return result;
        }
        clamp.index = std::size_t(k);
    }
    bool ok = false;
    clamp.maximum = m.captured(4).toDouble(&ok);
    const StoredRange range = storedRange(clamp.field->type);
    const double stored = clamp.maximum * clamp.field->scale;
    if (!ok || !std::isfinite(clamp.maximum) || !(stored >= range.low && stored <= range.high)) {
        result.error = QStringLiteral("clamp \"%1\": the maximum must be a number %2 can hold, not \"%3\"")
                           .arg(text, QLatin1String(clamp.field->name), m.captured(4));
        return result;
    }
    result.value = clamp;
    return result;
}

std::vector<FieldChange> applyClamps(std::span<const FieldClamp> clamps, MemoryRecord record,
                                     std::span<std::uint8_t> image)
{
    const std::vector<std::uint8_t> written(image.begin(), image.end());
    bool capped = false;
    for (const FieldClamp& c : clamps) {
        if (c.record != record || !c.field)
            continue;
        const double top = storedMaximum(c);
        const std::size_t first = c.index.value_or(0);
        const std::size_t last = c.index ? *c.index + 1 : c.field->count;
        for (std::size_t k = first; k < last && k < c.field->count; ++k) {
            if (readNumber(image, *c.field, k) > top) {
                writeNumber(image, *c.field, k, top);
                capped = true;
            }
        }
    }
    if (!capped)
        return {};
    return diffRecord(record, written, image);
}

} // namespace kvam
