#include "platform/NumberFormat.h"

#include <QLocale>

#include <clocale>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

namespace kvam {

namespace {

// Formats one conversion with the C library, then swaps the C library's decimal point (which
// follows LC_NUMERIC) for the one the user's QLocale asks for.
void appendFloat(std::string& out, const std::string& conversion, double v, const std::string& point)
{
    char buf[512];
    std::snprintf(buf, sizeof buf, conversion.c_str(), v);
    std::string s(buf);
    const char* cpoint = std::localeconv()->decimal_point;
    const std::size_t at = s.find(cpoint);
    if (at != std::string::npos)
        s.replace(at, std::strlen(cpoint), point);
    out += s;
}

} // namespace

QString formatNumber(const char* format, ...)
{
    const std::string point = QString(QLocale().decimalPoint()).toStdString();
    std::string out;
    va_list args;
    va_start(args, format);
    for (const char* p = format; *p;) {
        if (*p != '%') {
            out += *p++;
            continue;
        }
        if (p[1] == '%') {
            out += '%';
            p += 2;
            continue;
        }
        // One conversion: %[flags][width][.precision][length]type
        const char* start = p++;
        while (*p && std::strchr("-+ #0", *p))
            ++p;
        while (*p >= '0' && *p <= '9')
            ++p;
        if (*p == '.') {
            ++p;
            while (*p >= '0' && *p <= '9')
                ++p;
        }
        int longs = 0;
        while (*p == 'l' || *p == 'h') {
            longs += (*p == 'l') ? 1 : 0;
            ++p;
        }
        if (!*p)
            break;
        const char type = *p++;
        const std::string conversion(start, p);
        char buf[512];
        switch (type) {
        case 'f':
        case 'F':
        case 'e':
        case 'E':
        case 'g':
        case 'G':
            appendFloat(out, conversion, va_arg(args, double), point);
            break;
        case 'd':
        case 'i':
            if (longs >= 2)
                std::snprintf(buf, sizeof buf, conversion.c_str(), va_arg(args, long long));
            else if (longs == 1)
                std::snprintf(buf, sizeof buf, conversion.c_str(), va_arg(args, long));
            else
                std::snprintf(buf, sizeof buf, conversion.c_str(), va_arg(args, int));
            out += buf;
            break;
        case 'u':
        case 'x':
        case 'X':
        case 'o':
            if (longs >= 2)
                std::snprintf(buf, sizeof buf, conversion.c_str(), va_arg(args, unsigned long long));
            else if (longs == 1)
                std::snprintf(buf, sizeof buf, conversion.c_str(), va_arg(args, unsigned long));
            else
                std::snprintf(buf, sizeof buf, conversion.c_str(), va_arg(args, unsigned int));
            out += buf;
            break;
        case 'c':
            out += static_cast<char>(va_arg(args, int));
            break;
        case 's': {
            const char* s = va_arg(args, const char*);
            const std::string textConversion = conversion;
            const int need = std::snprintf(nullptr, 0, textConversion.c_str(), s ? s : "");
            std::string tmp(static_cast<std::size_t>(need > 0 ? need : 0) + 1, '\0');
            std::snprintf(tmp.data(), tmp.size(), textConversion.c_str(), s ? s : "");
            tmp.resize(static_cast<std::size_t>(need > 0 ? need : 0));
            out += tmp;
            break;
        }
        default:
            out += conversion; // unknown conversion: shown as written, no argument consumed
            break;
        }
    }
    va_end(args);
    return QString::fromUtf8(out);
}

PatternDecimals patternDecimals(const QString& pattern)
{
    PatternDecimals d;
    const qsizetype point = pattern.indexOf(QLatin1Char('.'));
    if (point < 0)
        return d;
    for (qsizetype i = point + 1; i < pattern.size(); ++i) {
        const QChar c = pattern.at(i);
        if (c == QLatin1Char('0')) {
            // A '0' after a '#' still makes every digit before it necessary.
            d.maximum += 1;
            d.minimum = d.maximum;
        } else if (c == QLatin1Char('#')) {
            d.maximum += 1;
        } else {
            break;
        }
    }
    return d;
}

QString formatPattern(double value, const QString& pattern, const QString& decimalPoint)
{
    if (!std::isfinite(value))
        return QString();
    const PatternDecimals d = patternDecimals(pattern);
    QString text = QString::number(value, 'f', d.maximum);
    if (d.maximum > 0) {
        const qsizetype point = text.indexOf(QLatin1Char('.'));
        qsizetype keep = text.size();
        while (keep - point - 1 > d.minimum && text.at(keep - 1) == QLatin1Char('0'))
            --keep;
        if (keep - point - 1 == 0)
            --keep; // no fraction left: no point either
        text.truncate(keep);
        text.replace(QLatin1Char('.'), decimalPoint);
    }
    bool allZero = true;
    for (QChar c : text) {
        if (c.isDigit() && c != QLatin1Char('0'))
            allZero = false;
    }
    if (allZero && text.startsWith(QLatin1Char('-')))
        text.remove(0, 1);
    return text;
}

} // namespace kvam
