#include "meter/FaultProfile.h"

#include <QSet>
#include <QStringList>

#include <cmath>

namespace kvam {

ParseResult<FaultProfile> parseFaultProfile(const QString& text)
{
    ParseResult<FaultProfile> result;
    FaultProfile profile;
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty()) {
        result.value = profile;
        return result;
    }

    QSet<QString> seen;
    const QStringList items = trimmed.split(QLatin1Char(','));
    for (const QString& rawItem : items) {
        const QString item = rawItem.trimmed();
        if (item.isEmpty()) {
            result.error = QStringLiteral("empty item in fault list \"%1\"").arg(text);
            return result;
        }
        const qsizetype eq = item.indexOf(QLatin1Char('='));
        if (eq < 0) {
            result.error = QStringLiteral("\"%1\" is not of the form name=probability").arg(item);
            return result;
        }
        const QString key = item.left(eq).trimmed().toLower();
        const QString valueText = item.mid(eq + 1).trimmed();
        bool ok = false;
        const double value = valueText.toDouble(&ok);
        if (!ok || !std::isfinite(value) || value < 0.0 || value > 1.0) {
            result.error = QStringLiteral("probability of \"%1\" must be a number from 0 to 1, not \"%2\"")
                               .arg(key, valueText);
            return result;
        }
        if (seen.contains(key)) {
            result.error = QStringLiteral("fault \"%1\" given twice").arg(key);
            return result;
        }
        seen.insert(key);

        if (key == QLatin1String("drop"))
            profile.drop = value;
        else if (key == QLatin1String("crc"))
            profile.crc = value;
        else if (key == QLatin1String("late"))
            profile.late = value;
        else if (key == QLatin1String("split"))
            profile.split = value;
        else if (key == QLatin1String("garbage"))
            profile.garbage = value;
        else if (key == QLatin1String("latewrite"))
            profile.lateWrite = value;
        else {
            result.error =
                QStringLiteral("unknown fault \"%1\" (known: drop, crc, late, split, garbage, latewrite)")
                    .arg(key);
            return result;
        }
    }
    result.value = profile;
    return result;
}

} // namespace kvam
