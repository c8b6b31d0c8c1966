#pragma once

#include <QDoubleSpinBox>
#include <QString>

#include <optional>

namespace kvam {

/// A numeric spin edit with enforced limits, a step and a display format such as "#0.000#":
/// '0' after the point is a digit always shown, '#' one shown only when it is not a trailing zero.
/// Typing accepts the user's decimal separator (and '.').
class NumericSpin : public QDoubleSpinBox
{
    Q_OBJECT
public:
    explicit NumericSpin(QWidget* parent = nullptr);
    NumericSpin(double minimum, double maximum, double step, const QString& displayFormat, double value,
                QWidget* parent = nullptr);

    /// Sets the display format; the number of decimals kept follows its longest fraction.
    void setDisplayFormat(const QString& format);
    QString displayFormat() const { return m_format; }

    /// Decimal digits after the point: at least `minimum`, at most `maximum`.
    struct Decimals
    {
        int minimum = 0;
        int maximum = 0;
    };
    static Decimals decimalsOf(const QString& format);

    /// `value` rounded to the format's longest fraction, trailing zeros dropped down to the
    /// shortest, with `decimalPoint` as the separator.
    static QString formatValue(double value, const QString& format, const QString& decimalPoint);

    /// The number in `text`, read with `decimalPoint` or '.' as separator; nothing if it is not one.
    static std::optional<double> parseValue(const QString& text, const QString& decimalPoint);

    QString textFromValue(double value) const override;
    double valueFromText(const QString& text) const override;
    QValidator::State validate(QString& text, int& pos) const override;
    void fixup(QString& text) const override;

private:
    QString decimalPoint() const;

    QString m_format;
};

} // namespace kvam
