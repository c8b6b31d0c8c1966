#pragma once

#include <QString>

namespace kvam {

/// printf-style formatting of measurement values ("%10.1f", "%10d", "%s THD: %4.1f %%" ...) with the
/// decimal separator of the user's locale (QLocale's default). Only the numeric conversions are
/// touched: text passed through %s keeps its dots. %s takes UTF-8 `const char*`.
QString formatNumber(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

/// Digits after the point of a display pattern such as "#0.000#": '0' is a digit always shown,
/// '#' one shown only when it is not a trailing zero.
struct PatternDecimals
{
    int minimum = 0;
    int maximum = 0;
};
PatternDecimals patternDecimals(const QString& pattern);

/// `value` rounded to the pattern's longest fraction, trailing zeros dropped down to the shortest,
/// with `decimalPoint` as the separator; a value that rounds to zero has no sign. Empty for a value
/// that is not finite.
QString formatPattern(double value, const QString& pattern, const QString& decimalPoint);

} // namespace kvam
