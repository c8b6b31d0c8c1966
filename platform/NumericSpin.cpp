#include "platform/NumericSpin.h"

#include "platform/NumberFormat.h"

#include <QLocale>
#include <QProxyStyle>

#include <algorithm>
#include <cmath>

namespace kvam {

namespace {

// Holding an arrow repeats the step every 100 ms after a 500 ms pause. QAbstractSpinBox takes
// both times from the style, so the spin gets a proxy of the application style that says so.
class RepeatStyle : public QProxyStyle
{
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override
    {
        switch (hint) {
        case SH_SpinBox_ClickAutoRepeatThreshold:
            return 500;
        case SH_SpinBox_ClickAutoRepeatRate:
        case SH_SpinBox_KeyPressAutoRepeatRate:
            return 100;
        default:
            return QProxyStyle::styleHint(hint, option, widget, returnData);
        }
    }
};

} // namespace

NumericSpin::NumericSpin(QWidget* parent) : NumericSpin(0.0, 99.99, 1.0, QStringLiteral("#0.00"), 0.0, parent)
{
}

NumericSpin::NumericSpin(double minimum, double maximum, double step, const QString& displayFormat,
                         double value, QWidget* parent)
    : QDoubleSpinBox(parent)
{
    auto* style = new RepeatStyle;
    style->setParent(this);
    setStyle(style);
    // Decimals first: they round the range and the value.
    setDisplayFormat(displayFormat);
    setRange(minimum, maximum);
    setSingleStep(step);
    setValue(value);
}

void NumericSpin::setDisplayFormat(const QString& format)
{
    m_format = format;
    // Also re-rounds the range and the value and refreshes the text.
    setDecimals(decimalsOf(format).maximum);
}

NumericSpin::Decimals NumericSpin::decimalsOf(const QString& format)
{
    const PatternDecimals d = patternDecimals(format);
    return {d.minimum, d.maximum};
}

QString NumericSpin::formatValue(double value, const QString& format, const QString& decimalPoint)
{
    return formatPattern(value, format, decimalPoint);
}

std::optional<double> NumericSpin::parseValue(const QString& text, const QString& decimalPoint)
{
    QString t = text.trimmed();
    if (!decimalPoint.isEmpty() && decimalPoint != QLatin1String("."))
        t.replace(decimalPoint, QLatin1String("."));
    // Only sign, digits and one point: no exponents, group separators, "inf" or "nan".
    int points = 0, digits = 0;
    for (qsizetype i = 0; i < t.size(); ++i) {
        const QChar c = t.at(i);
        if (c.isDigit() && c.unicode() < 128)
            ++digits;
        else if (c == QLatin1Char('.'))
            ++points;
        else if (!(i == 0 && (c == QLatin1Char('-') || c == QLatin1Char('+'))))
            return std::nullopt;
    }
    if (digits == 0 || points > 1)
        return std::nullopt;
    bool ok = false;
    const double v = QLocale::c().toDouble(t, &ok);
    if (!ok || !std::isfinite(v))
        return std::nullopt;
    return v;
}

QString NumericSpin::decimalPoint() const
{
    return locale().decimalPoint();
}

QString NumericSpin::textFromValue(double value) const
{
    return formatValue(value, m_format, decimalPoint());
}

double NumericSpin::valueFromText(const QString& text) const
{
    QString t = text;
    if (!prefix().isEmpty() && t.startsWith(prefix()))
        t.remove(0, prefix().size());
    if (!suffix().isEmpty() && t.endsWith(suffix()))
        t.chop(suffix().size());
    return parseValue(t, decimalPoint()).value_or(value());
}

void NumericSpin::fixup(QString& text) const
{
    // A number outside the limits becomes the nearest limit; anything else keeps the last value.
    QString t = text;
    if (!prefix().isEmpty() && t.startsWith(prefix()))
        t.remove(0, prefix().size());
    if (!suffix().isEmpty() && t.endsWith(suffix()))
        t.chop(suffix().size());
    if (const std::optional<double> v = parseValue(t, decimalPoint()))
        text = prefix() + textFromValue(std::clamp(*v, minimum(), maximum())) + suffix();
}

QValidator::State NumericSpin::validate(QString& text, int& pos) const
{
    Q_UNUSED(pos);
    QString t = text;
    if (!prefix().isEmpty() && t.startsWith(prefix()))
        t.remove(0, prefix().size());
    if (!suffix().isEmpty() && t.endsWith(suffix()))
        t.chop(suffix().size());
    t = t.trimmed();
    if (t.isEmpty() || t == QLatin1String("-") || t == QLatin1String("+"))
        return QValidator::Intermediate;
    const std::optional<double> v = parseValue(t, decimalPoint());
    if (!v) {
        // "1." and ",5" are on their way to a number.
        const QString point = decimalPoint();
        if (t.endsWith(point) || t.endsWith(QLatin1Char('.'))) {
            QString head = t;
            head.chop(t.endsWith(point) ? point.size() : 1);
            if (head.isEmpty() || head == QLatin1String("-") || parseValue(head, point))
                return QValidator::Intermediate;
        }
        return QValidator::Invalid;
    }
    // More fraction digits than the format keeps cannot be typed.
    QString normalised = t;
    normalised.replace(decimalPoint(), QLatin1String("."));
    const qsizetype point = normalised.indexOf(QLatin1Char('.'));
    if (point >= 0 && normalised.size() - point - 1 > decimals())
        return QValidator::Invalid;
    if (*v < minimum() || *v > maximum())
        return QValidator::Intermediate; // pulled into range when editing ends
    return QValidator::Acceptable;
}

} // namespace kvam
