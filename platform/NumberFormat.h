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

} // namespace kvam
