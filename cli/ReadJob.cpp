#include "cli/ReadJob.h"

#include "cli/ChangeRows.h"
#include "cli/JsonValues.h"
#include "config/IniProfile.h"
#include "config/RecordFile.h"
#include "config/SettingsFile.h"
#include "config/WholeFile.h"
#include "records/FieldValue.h"
#include "records/RecordLayout.h"
#include "texts/Cp1250.h"
#include "texts/Language.h"

#include <QLocale>

#include <span>

namespace kvam::cli {

namespace {

/// Every field of a record by its record-table name, as the pages show it.
QJsonObject recordJson(MemoryRecord record, std::span<const std::uint8_t> bytes)
{
    QJsonObject o;
    for (const FieldInfo& f : memoryRecordLayout(record).fields) {
        auto value = [&](std::size_t i) {
            const double v = shownValue(f, readNumber(bytes, f, i));
            return f.type == FieldType::f32 ? jsonSingle(float(v)) : jsonNumber(v);
        };
        if (f.count == 1) {
            o[QLatin1String(f.name)] = value(0);
            continue;
        }
        QJsonArray values;
        for (std::size_t i = 0; i < f.count; ++i)
            values.append(value(i));
        o[QLatin1String(f.name)] = values;
    }
    return o;
}

} // namespace

void ReadJob::step()
{
    const std::optional<MeterRecords> records = readyRecords();
    if (!records)
        return;
    const QString meter = m_s.meterText();
    QString error;
    switch (m_o.format) {
    case Format::Ini:
        if (!m_o.output.isEmpty()) {
            if (!saveSettings(m_o.output, meter, *records->ram2, *records->ram3, QLocale(), &error))
                return finish(Status::File, error);
        } else {
            IniProfile profile;
            if (m_shared.several)
                profile = IniProfile::parse(cp1250::encode(QStringLiteral("; %1\r\n").arg(m_s.port())));
            writeSettingsSection(profile, meter, *records->ram2, *records->ram3, QLocale());
            m_shared.out(profile.serialize());
        }
        break;
    case Format::Json: {
        QJsonObject o;
        o[QStringLiteral("port")] = m_s.port();
        o[QStringLiteral("meter")] = qint64(records->Gyartasiszam);
        o[QStringLiteral("RAM2")] =
            recordJson(MemoryRecord::Ram2, {records->ram2->data(), records->ram2->size()});
        o[QStringLiteral("RAM3")] =
            recordJson(MemoryRecord::Ram3, {records->ram3->data(), records->ram3->size()});
        if (m_o.output.isEmpty())
            m_shared.out(jsonLine(o));
        else
            m_shared.jsonLines << jsonLine(o);
        break;
    }
    default: // Format::User
        if (!m_o.output.isEmpty()) {
            if (!saveRecordFile(perMeterFile(m_o.output), *records->ram2, &error))
                return finish(Status::File, error);
        } else {
            m_shared.out(QByteArray(reinterpret_cast<const char*>(records->ram2->data()),
                                    qsizetype(records->ram2->size())));
        }
        break;
    }
    finish(Status::Ok);
}

Status ReadJob::saveCollected(Shared& shared)
{
    const Options& o = shared.options;
    if (o.command != Command::Read || o.format != Format::Json || o.output.isEmpty() ||
        shared.jsonLines.isEmpty())
        return Status::Ok;
    QByteArray bytes;
    for (const QByteArray& line : shared.jsonLines)
        bytes += line;
    QString reason;
    if (saveWholeFile(o.output, bytes, &reason))
        return Status::Ok;
    shared.error(QStringLiteral("%1: %2").arg(o.output, reason));
    return Status::File;
}

} // namespace kvam::cli
