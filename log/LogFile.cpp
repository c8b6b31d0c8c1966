#include "log/LogFile.h"

#include "measure/ViewRecords.h"
#include "texts/Cp1250.h"

#include <QDir>

#include <cmath>
#include <cstring>

namespace kvam {

namespace {

constexpr char kSkippedField[] = "Sumpf"; // shown on the page, not logged

bool isBlank(QChar c)
{
    return c.isSpace();
}

bool closes(QChar open, QChar close)
{
    return (open == u'(' && close == u')') || (open == u'[' && close == u']');
}

bool onlyBlanksFrom(const QString& text, qsizetype from)
{
    for (qsizetype i = from; i < text.size(); ++i) {
        if (!isBlank(text[i]))
            return false;
    }
    return true;
}

// The logged fields of the page, in column order.
template <typename Visit> void forEachLoggedField(Visit visit)
{
    for (const NetField& f : netFields())
        if (isLoggedField(f))
            visit(f);
}

} // namespace

bool isLoggedField(const NetField& field)
{
    return std::strcmp(field.name, kSkippedField) != 0;
}

QString logHeaderText()
{
    QStringList names{QStringLiteral("D\u00e1tum_id\u0151")};
    forEachLoggedField([&](const NetField& f) { names << QLatin1String(f.logName); });
    return names.join(QLatin1Char(';'));
}

QByteArray logHeaderLine()
{
    return cp1250::encode(logHeaderText()) + "\r\n";
}

QStringList logFieldTexts(const NetRecord* latest)
{
    QStringList texts;
    texts.reserve(static_cast<qsizetype>(kLoggedFieldCount));
    forEachLoggedField(
        [&](const NetField& f) { texts << (latest ? netFieldText(*latest, f) : QStringLiteral("-")); });
    return texts;
}

QByteArray csvHeaderLine()
{
    QStringList columns{QStringLiteral("time")};
    forEachLoggedField([&](const NetField& f) {
        const QString name = QLatin1String(f.logName);
        const QString unit = QString::fromUtf8(f.unit);
        columns << (unit.isEmpty() ? name : QStringLiteral("%1 [%2]").arg(name, unit));
    });
    return columns.join(QLatin1Char(',')).toUtf8() + "\r\n";
}

QByteArray csvRecordLine(const QDateTime& moment, const NetRecord& latest)
{
    const QDateTime local = moment.toOffsetFromUtc(moment.offsetFromUtc());
    QStringList columns{local.toString(Qt::ISODateWithMs)};
    forEachLoggedField([&](const NetField& f) {
        const double v = static_cast<double>(latest.f32(f.offset) / f.scale);
        columns << (std::isfinite(v) ? QString::number(v, 'g', 7) : QString());
    });
    return columns.join(QLatin1Char(',')).toUtf8() + "\r\n";
}

QString withoutTimeZone(const QString& format)
{
    QString out = format;
    bool quoted = false;
    for (qsizetype i = 0; i < out.size();) {
        const QChar c = out[i];
        // '' is a quote both inside and outside a literal: toggling twice leaves the state alone.
        if (c == u'\'') {
            quoted = !quoted;
            ++i;
            continue;
        }
        if (quoted || c != u't') {
            ++i;
            continue;
        }
        qsizetype from = i;
        qsizetype to = i;
        while (to < out.size() && out[to] == u't')
            ++to;
        if (from > 0 && to < out.size() && closes(out[from - 1], out[to])) {
            --from;
            ++to;
        }
        while (from > 0 && isBlank(out[from - 1]))
            --from;
        // "HH:mm:ss, t": the comma only ever sets off a zone that ends the format.
        if (from > 0 && out[from - 1] == u',' && onlyBlanksFrom(out, to)) {
            --from;
            while (from > 0 && isBlank(out[from - 1]))
                --from;
        }
        while (to < out.size() && isBlank(out[to]))
            ++to;
        // A zone between two parts leaves one blank between them.
        const QString gap = (from > 0 && to < out.size()) ? QStringLiteral(" ") : QString();
        out.replace(from, to - from, gap);
        i = from + gap.size();
    }
    return out;
}

QString logTimeFormat(const QLocale& locale)
{
    return withoutTimeZone(locale.timeFormat(QLocale::LongFormat));
}

QString logTimestamp(const QDateTime& moment, const QLocale& locale)
{
    const QDateTime local = moment.toLocalTime();
    const QString date = locale.toString(local.date(), QLocale::ShortFormat);
    const QTime time = local.time();
    if (time.hour() == 0 && time.minute() == 0 && time.second() == 0)
        return date;
    return date + u' ' + locale.toString(time, logTimeFormat(locale));
}

QByteArray logRecordLine(const QDateTime& moment, const QStringList& fieldTexts, const QLocale& locale)
{
    QString line;
    line.reserve(24 + 13 * fieldTexts.size());
    line += u'"';
    line += logTimestamp(moment, locale);
    line += u'"';
    for (const QString& text : fieldTexts) {
        line += QLatin1String(";\"");
        line += text;
        line += u'"';
    }
    return cp1250::encode(line) + "\r\n";
}

QString logFileNameFor(const QString& chosen)
{
    if (chosen.isEmpty())
        return chosen;
    const QString name = QDir::fromNativeSeparators(chosen);
    const qsizetype slash = name.lastIndexOf(u'/');
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot > slash)
        return chosen;
    return chosen + QLatin1String(".txt");
}

} // namespace kvam
