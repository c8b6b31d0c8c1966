#include "cli/JsonValues.h"

#include "cli/ChangeRows.h"
#include "device/FieldTable.h"

#include <QJsonDocument>

#include <cmath>

namespace kvam::cli {

QJsonValue jsonNumber(double v)
{
    return std::isfinite(v) ? QJsonValue(v) : QJsonValue();
}

QJsonValue jsonSingle(float v)
{
    return std::isfinite(v) ? QJsonValue(QString::number(double(v), 'g', 7).toDouble()) : QJsonValue();
}

QByteArray jsonLine(const QJsonObject& object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

QJsonArray changeArray(const std::vector<FieldChange>& changes, const QString& otherKey)
{
    QJsonArray array;
    for (const FieldChange& c : changes) {
        QJsonObject o;
        o[QStringLiteral("record")] = QLatin1String(memoryRecordName(c.record));
        o[QStringLiteral("field")] = QString::fromStdString(c.name());
        o[QStringLiteral("meter")] = jsonNumber(shownValue(*c.field, c.before));
        o[otherKey] = jsonNumber(shownValue(*c.field, c.after));
        o[QStringLiteral("unit")] = fieldUnit(c.record, *c.field, c.index);
        array.append(o);
    }
    return array;
}

} // namespace kvam::cli
