#include "cli/ChangeRows.h"

#include "device/FieldTable.h"

namespace kvam::cli {

double shownValue(const FieldInfo& field, double stored)
{
    return field.scale != 1.0 ? stored / field.scale : stored;
}

QStringList changeRows(const std::vector<FieldChange>& changes, const QString& otherHeading)
{
    QStringList rows;
    rows << QStringLiteral("  %1 %2 %3 %4  %5")
                .arg(QStringLiteral("field").leftJustified(26), QStringLiteral("meter").rightJustified(14),
                     otherHeading.rightJustified(14), QStringLiteral("unit").leftJustified(4),
                     QStringLiteral("caption"));
    for (const FieldChange& c : changes) {
        const QString name = QStringLiteral("%1.%2").arg(QLatin1String(memoryRecordName(c.record)),
                                                         QString::fromStdString(c.name()));
        // The values, the unit and the caption as the window's review shows them.
        const ChangeTexts t = changeTexts(c, Language::English);
        QString row = QStringLiteral("  %1 %2 %3 %4  %5")
                          .arg(name.leftJustified(26), t.before.rightJustified(14),
                               t.after.rightJustified(14), t.unit.leftJustified(4), t.caption);
        while (row.endsWith(QLatin1Char(' ')))
            row.chop(1);
        rows << row;
    }
    return rows;
}

} // namespace kvam::cli
