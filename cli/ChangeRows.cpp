#include "cli/ChangeRows.h"

#include "config/FieldUnits.h"

#include <cmath>

namespace kvam::cli {

double shownValue(const FieldInfo& field, double stored)
{
    return field.scale != 1.0 ? stored / field.scale : stored;
}

QString numberText(double v)
{
    return std::isfinite(v) ? QString::number(v, 'g', 10) : QStringLiteral("nan");
}

QStringList changeRows(const std::vector<FieldChange>& changes, const QString& otherHeading)
{
    QStringList rows;
    rows << QStringLiteral("  %1 %2 %3 %4")
                .arg(QStringLiteral("field").leftJustified(26), QStringLiteral("meter").rightJustified(14),
                     otherHeading.rightJustified(14), QStringLiteral("unit"));
    for (const FieldChange& c : changes) {
        const QString name = QStringLiteral("%1.%2").arg(QLatin1String(memoryRecordName(c.record)),
                                                         QString::fromStdString(c.name()));
        QString row =
            QStringLiteral("  %1 %2 %3 %4")
                .arg(name.leftJustified(26), numberText(shownValue(*c.field, c.before)).rightJustified(14),
                     numberText(shownValue(*c.field, c.after)).rightJustified(14), unitOf(c));
        while (row.endsWith(QLatin1Char(' ')))
            row.chop(1);
        rows << row;
    }
    return rows;
}

} // namespace kvam::cli
