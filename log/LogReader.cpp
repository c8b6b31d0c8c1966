#include "log/LogReader.h"

#include "log/LogFile.h"
#include "measure/TrendHistory.h"
#include "texts/Cp1250.h"

#include <QDateTime>
#include <QFile>
#include <QHash>
#include <QIODevice>

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>
#include <vector>

namespace kvam {

namespace {

constexpr int kColumns = 1 + int(kLoggedFieldCount); // the time and the logged values
constexpr qsizetype kMaxLine = 64 * 1024;            // longer lines are not ours
constexpr int kSampleLines = 64;                     // lines that decide a text log's locale
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

// ---------------------------------------------------------------------------------------------
// Lines

/// The lines of a device without their line ends (LF or CR LF), none longer than kMaxLine.
class LineReader
{
public:
    explicit LineReader(QIODevice& device) : m_device(device) {}

    struct Line
    {
        QByteArray text;
        qsizetype number = 0;   ///< from 1
        bool terminated = true; ///< ended by LF (false: the last line of a file cut short)
        bool overlong = false;  ///< longer than any log line; its text is dropped
    };

    bool next(Line& line)
    {
        if (m_skipping) {
            // The rest of a line already reported as too long.
            QByteArray rest;
            do
                rest = m_device.readLine(kMaxLine + 2);
            while (!rest.isEmpty() && !rest.endsWith('\n'));
            m_skipping = false;
        }
        QByteArray text = m_device.readLine(kMaxLine + 2);
        if (text.isEmpty())
            return false;
        line.number = ++m_number;
        line.terminated = text.endsWith('\n');
        // Without its line end and with more to come, the line stopped at the bound. It is reported
        // at once, so that a file without line ends is not read to its end for it.
        line.overlong = !line.terminated && !m_device.atEnd();
        if (line.overlong) {
            line.terminated = true;
            line.text.clear();
            m_skipping = true;
            return true;
        }
        if (line.terminated)
            text.chop(1);
        if (text.endsWith('\r'))
            text.chop(1);
        line.text = std::move(text);
        return true;
    }

private:
    QIODevice& m_device;
    qsizetype m_number = 0;
    bool m_skipping = false;
};

// ---------------------------------------------------------------------------------------------
// Numbers

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

QByteArrayView trimmed(QByteArrayView text)
{
    while (!text.isEmpty() && isBlank(text.front()))
        text = text.sliced(1);
    while (!text.isEmpty() && isBlank(text.back()))
        text = text.chopped(1);
    return text;
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

/// The not-a-number and infinity texts of printf and QString::number.
std::optional<float> specialValue(QByteArrayView text)
{
    const bool negative = text.startsWith('-');
    if (negative || text.startsWith('+'))
        text = text.sliced(1);
    auto is = [&](const char* word) {
        return text.size() == qsizetype(std::strlen(word)) &&
               qstrnicmp(text.data(), word, std::strlen(word)) == 0;
    };
    if (is("nan"))
        return kNaN;
    if (is("inf") || is("infinity"))
        return negative ? -kInf : kInf;
    return std::nullopt;
}

/// The decimal separator of a printf-style number ("  230,1"), or 0 for an integer or no number.
char separatorOf(QByteArrayView field)
{
    const QByteArrayView t = trimmed(field);
    qsizetype i = (!t.isEmpty() && (t[0] == '-' || t[0] == '+')) ? 1 : 0;
    const qsizetype digits = i;
    while (i < t.size() && isDigit(t[i]))
        ++i;
    if (i == digits || i + 1 >= t.size() || !isDigit(t[i + 1]))
        return 0;
    const char separator = t[i];
    for (qsizetype k = i + 1; k < t.size(); ++k)
        if (!isDigit(t[k]))
            return 0;
    return separator;
}

/// A text log's value: "[sign]digits[<point>digits]" between blanks, "-" (no measurement yet), or
/// a not-a-number or infinity text.
std::optional<float> textValue(QByteArrayView field, char point)
{
    const QByteArrayView t = trimmed(field);
    if (t == "-")
        return kNaN;
    char buffer[64];
    qsizetype i = 0;
    qsizetype n = 0;
    if (!t.isEmpty() && (t[0] == '-' || t[0] == '+')) {
        if (t[0] == '-')
            buffer[n++] = '-';
        ++i;
    }
    const qsizetype intStart = i;
    while (i < t.size() && isDigit(t[i]) && n < qsizetype(sizeof buffer) - 1)
        buffer[n++] = t[i++];
    if (i == intStart)
        return specialValue(t);
    if (i < t.size() && t[i] == point) {
        buffer[n++] = '.';
        ++i;
        const qsizetype fracStart = i;
        while (i < t.size() && isDigit(t[i]) && n < qsizetype(sizeof buffer))
            buffer[n++] = t[i++];
        if (i == fracStart)
            return std::nullopt;
    }
    if (i != t.size())
        return std::nullopt; // another separator, grouping, an exponent, a letter, or too long
    double v = 0.0;
    const auto [end, error] = std::from_chars(buffer, buffer + n, v);
    if (error != std::errc() || end != buffer + n)
        return std::nullopt;
    return float(v);
}

/// A CSV log's value: empty (not a number), or a number as QString::number writes it.
std::optional<float> csvValue(QByteArrayView field)
{
    if (field.isEmpty())
        return kNaN;
    const char last = field.back(); // "nan", "inf", "-inf": a letter at the end
    if ((last < '0' || last > '9') && last != '.')
        return specialValue(field);
    const char* begin = field.data();
    const char* end = begin + field.size();
    if (*begin == '+')
        return std::nullopt;
    double v = 0.0;
    const auto [stop, error] = std::from_chars(begin, end, v);
    if (error != std::errc() || stop != end)
        return std::nullopt;
    return float(v);
}

// ---------------------------------------------------------------------------------------------
// Times

/// Milliseconds since the epoch of a UTC date and time.
qint64 utcMs(QDate date, QTime time)
{
    constexpr qint64 kUnixEpochJulianDay = 2440588;
    return (date.toJulianDay() - kUnixEpochJulianDay) * 86400000 + time.msecsSinceStartOfDay();
}

/// Local date and time to milliseconds since the epoch, as QDateTime does, with the offset from
/// UTC kept for an hour in which it does not change.
class LocalClock
{
public:
    qint64 toMs(QDate date, QTime time)
    {
        const qint64 key = date.toJulianDay() * 24 + time.hour();
        if (key != m_key) {
            const QDateTime start(date, QTime(time.hour(), 0));
            const QDateTime end(date, QTime(time.hour(), 59, 59, 999));
            m_steady = start.isValid() && end.isValid() && start.offsetFromUtc() == end.offsetFromUtc();
            m_offsetMs = qint64(start.offsetFromUtc()) * 1000;
            m_key = key;
        }
        if (m_steady)
            return utcMs(date, time) - m_offsetMs;
        return QDateTime(date, time).toMSecsSinceEpoch();
    }

private:
    qint64 m_key = std::numeric_limits<qint64>::min();
    qint64 m_offsetMs = 0;
    bool m_steady = false;
};

/// A time of day in a QLocale time format made of hours, minutes, seconds, milliseconds, an AM/PM
/// marker and literals; the formats the locales give. Other formats are left to QLocale.
class TimeFormat
{
public:
    TimeFormat(const QString& format, const QLocale& locale)
        : m_format(format), m_locale(locale), m_am(locale.amText()), m_pm(locale.pmText())
    {
        for (qsizetype i = 0; i < format.size();) {
            const QChar c = format[i];
            qsizetype run = 1;
            while (i + run < format.size() && format[i + run] == c)
                ++run;
            if (c == u'\'') {
                const qsizetype close = format.indexOf(u'\'', i + 1);
                if (close < 0) {
                    m_fast = false;
                    return;
                }
                // '' is a quote character.
                m_tokens.push_back({Token::Literal,
                                    close == i + 1 ? QStringLiteral("'") : format.mid(i + 1, close - i - 1)});
                i = close + 1;
                continue;
            }
            if (c == u'H' || c == u'h' || c == u'm' || c == u's') {
                if (run > 2) {
                    m_fast = false;
                    return;
                }
                m_tokens.push_back({c == u'H'   ? Token::Hour24
                                    : c == u'h' ? Token::Hour12
                                    : c == u'm' ? Token::Minute
                                                : Token::Second,
                                    {}});
            } else if (c == u'z') {
                m_tokens.push_back({Token::Millisecond, {}});
            } else if (c == u'A' || c == u'a') {
                m_tokens.push_back({Token::AmPm, {}});
                if (i + 1 < format.size() && (format[i + 1] == u'P' || format[i + 1] == u'p'))
                    run = 2;
                else
                    run = 1;
            } else if (c.isLetter()) {
                m_fast = false; // a time-zone or other field
                return;
            } else {
                m_tokens.push_back({Token::Literal, QString(run, c)});
            }
            i += run;
        }
    }

    QTime read(QStringView text) const
    {
        if (!m_fast)
            return m_locale.toTime(text.toString(), m_format);
        int hour = -1, minute = 0, second = 0, ms = 0;
        int ampm = -1; // 0 am, 1 pm
        bool twelve = false;
        qsizetype pos = 0;
        auto number = [&](int maxDigits, int& out) {
            const qsizetype start = pos;
            int v = 0;
            while (pos < text.size() && pos - start < maxDigits && text[pos].isDigit() &&
                   text[pos].unicode() < 128) {
                v = v * 10 + (text[pos].unicode() - '0');
                ++pos;
            }
            out = v;
            return pos > start;
        };
        for (const Token& t : m_tokens) {
            switch (t.kind) {
            case Token::Literal:
                if (!text.sliced(pos).startsWith(t.text))
                    return {};
                pos += t.text.size();
                break;
            case Token::Hour24:
            case Token::Hour12:
                twelve = t.kind == Token::Hour12;
                if (!number(2, hour))
                    return {};
                break;
            case Token::Minute:
                if (!number(2, minute))
                    return {};
                break;
            case Token::Second:
                if (!number(2, second))
                    return {};
                break;
            case Token::Millisecond: {
                const qsizetype start = pos;
                if (!number(3, ms))
                    return {};
                for (qsizetype k = pos - start; k < 3; ++k)
                    ms *= 10;
                break;
            }
            case Token::AmPm: {
                const QStringView rest = text.sliced(pos);
                // The longer text first, so that neither can match the start of the other.
                const bool amFirst = m_am.size() >= m_pm.size();
                const QString& first = amFirst ? m_am : m_pm;
                const QString& second = amFirst ? m_pm : m_am;
                if (!first.isEmpty() && rest.startsWith(first, Qt::CaseInsensitive)) {
                    ampm = amFirst ? 0 : 1;
                    pos += first.size();
                } else if (!second.isEmpty() && rest.startsWith(second, Qt::CaseInsensitive)) {
                    ampm = amFirst ? 1 : 0;
                    pos += second.size();
                } else {
                    return {};
                }
                break;
            }
            }
        }
        if (pos != text.size() || hour < 0)
            return {};
        if (twelve || ampm >= 0) {
            if (hour < 1 || hour > 12 || ampm < 0)
                return {};
            hour = hour % 12 + (ampm == 1 ? 12 : 0);
        }
        if (hour > 23 || minute > 59 || second > 59)
            return {};
        return QTime(hour, minute, second, ms);
    }

private:
    struct Token
    {
        enum Kind
        {
            Literal,
            Hour24,
            Hour12,
            Minute,
            Second,
            Millisecond,
            AmPm
        } kind;
        QString text;
    };

    QString m_format;
    QLocale m_locale;
    QString m_am;
    QString m_pm;
    std::vector<Token> m_tokens;
    bool m_fast = true;
};

/// The first field of a text log's line, as logTimestamp writes it in one locale: the short date,
/// a blank and the long time without its zone, or the date alone at midnight.
class StampReader
{
public:
    explicit StampReader(const QLocale& locale)
        : m_locale(locale), m_dateFormat(locale.dateFormat(QLocale::ShortFormat)),
          m_time(logTimeFormat(locale), locale), m_twoDigitYear(m_dateFormat.contains(QLatin1String("yy")) &&
                                                                !m_dateFormat.contains(QLatin1String("yyyy")))
    {
    }

    std::optional<qint64> read(const QString& stamp)
    {
        // Most lines share the date of the line before.
        if (!m_lastDate.isEmpty() && stamp.startsWith(m_lastDate)) {
            if (stamp.size() == m_lastDate.size())
                return m_clock.toMs(m_lastDateValue, QTime(0, 0));
            if (stamp[m_lastDate.size()] == u' ')
                if (const QTime t = m_time.read(QStringView(stamp).sliced(m_lastDate.size() + 1));
                    t.isValid())
                    return m_clock.toMs(m_lastDateValue, t);
        }
        // The date may hold blanks itself ("2026. 12. 09."): try each blank as the one before the time.
        if (const QDate d = date(stamp); d.isValid())
            return remember(stamp, d, QTime(0, 0));
        for (qsizetype p = stamp.indexOf(u' '); p > 0; p = stamp.indexOf(u' ', p + 1)) {
            const QDate d = date(stamp.left(p));
            if (!d.isValid())
                continue;
            if (const QTime t = m_time.read(QStringView(stamp).sliced(p + 1)); t.isValid())
                return remember(stamp.left(p), d, t);
        }
        return std::nullopt;
    }

private:
    qint64 remember(const QString& dateText, QDate d, QTime t)
    {
        m_lastDate = dateText;
        m_lastDateValue = d;
        return m_clock.toMs(d, t);
    }

    QDate date(const QString& text)
    {
        if (const auto it = m_dates.constFind(text); it != m_dates.cend())
            return *it;
        QDate d = m_locale.toDate(text, m_dateFormat);
        // QLocale reads a two-digit year as 19yy; a log is younger than 1970.
        if (d.isValid() && m_twoDigitYear && d.year() < 1970)
            d = d.addYears(100);
        if (m_dates.size() > 4096) // many dates that are not ours
            m_dates.clear();
        m_dates.insert(text, d);
        return d;
    }

    QLocale m_locale;
    QString m_dateFormat;
    TimeFormat m_time;
    bool m_twoDigitYear;
    QHash<QString, QDate> m_dates;
    QString m_lastDate;
    QDate m_lastDateValue;
    LocalClock m_clock;
};

/// A CSV log's time: "2026-12-09T18:30:00.125+01:00" (or "Z", or no offset for local time).
std::optional<qint64> isoTime(QByteArrayView t, LocalClock& local)
{
    // ISO 8601 also allows a blank for the 'T', or the date alone; the log writes neither, so such
    // a field is not one of its times.
    if (t.size() < 19 || t[10] != 'T')
        return std::nullopt;
    const QDateTime moment = QDateTime::fromString(QString::fromLatin1(t), Qt::ISODateWithMs);
    if (!moment.isValid())
        return std::nullopt;
    // Local times through the clock, which keeps each hour's offset instead of asking the time
    // zone for every line.
    if (moment.timeSpec() == Qt::LocalTime)
        return local.toMs(moment.date(), moment.time());
    return moment.toMSecsSinceEpoch();
}

// ---------------------------------------------------------------------------------------------
// Lines of each format

/// Where each logged column goes: its trend quantity, or -1 (an angle).
std::array<int, kLoggedFieldCount> columnQuantities()
{
    std::array<int, kLoggedFieldCount> out{};
    std::size_t column = 0;
    for (std::size_t k = 0; k < kNetFieldCount; ++k)
        if (isLoggedField(netFields()[k]))
            out[column++] = trendQuantityOf(k);
    return out;
}

/// The fields of a text log's line: each in double quotes, separated by ';', nothing around them.
bool quotedFields(QByteArrayView line, std::array<QByteArrayView, kColumns>& fields)
{
    qsizetype pos = 0;
    int n = 0;
    for (;;) {
        if (pos >= line.size() || line[pos] != '"' || n == kColumns)
            return false;
        const void* close = std::memchr(line.data() + pos + 1, '"', std::size_t(line.size() - pos - 1));
        if (!close)
            return false;
        const qsizetype end = static_cast<const char*>(close) - line.data();
        fields[std::size_t(n++)] = line.sliced(pos + 1, end - pos - 1);
        pos = end + 1;
        if (pos == line.size())
            return n == kColumns;
        if (line[pos] != ';')
            return false;
        ++pos;
    }
}

bool csvFields(QByteArrayView line, std::array<QByteArrayView, kColumns>& fields)
{
    int n = 0;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= line.size(); ++i) {
        if (i < line.size() && line[i] != ',')
            continue;
        if (n == kColumns)
            return false;
        fields[std::size_t(n++)] = line.sliced(start, i - start);
        start = i + 1;
    }
    return n == kColumns;
}

class Reading
{
public:
    Reading(TrendHistory& into, LogReadResult& result) : m_into(into), m_result(result) {}

    void skip(qsizetype lineNumber)
    {
        if (m_result.skipped++ == 0)
            m_result.firstSkippedLine = lineNumber;
    }
    /// Takes the values of the logged columns 1.. of `fields`, read by `value`; false when one
    /// does not read.
    template <typename Value>
    bool take(qint64 ms, const std::array<QByteArrayView, kColumns>& fields, Value value)
    {
        TrendValues values;
        values.fill(kNaN); // the sum of the power factors is not logged
        for (std::size_t c = 0; c < kLoggedFieldCount; ++c) {
            const std::optional<float> v = value(fields[c + 1]);
            if (!v)
                return false;
            if (const int q = m_quantities[c]; q >= 0)
                values[std::size_t(q)] = *v;
        }
        m_into.append(ms, values);
        ++m_result.records;
        return true;
    }

private:
    TrendHistory& m_into;
    LogReadResult& m_result;
    const std::array<int, kLoggedFieldCount> m_quantities = columnQuantities();
};

QByteArray withoutBom(const QByteArray& line)
{
    return line.startsWith("\xEF\xBB\xBF") ? line.mid(3) : line;
}

} // namespace

QList<QLocale> logReaderLocales()
{
    QList<QLocale> locales{QLocale(), QLocale::system()};
    for (const char* name : {"hu_HU", "en_US", "en_GB", "de_DE"})
        locales << QLocale(QString::fromLatin1(name));
    locales << QLocale::c();
    // Each once, in this order.
    QList<QLocale> unique;
    for (const QLocale& l : locales)
        if (!unique.contains(l))
            unique << l;
    return unique;
}

LogReadResult readLog(QIODevice& device, TrendHistory& into, const QList<QLocale>& locales)
{
    LogReadResult result;
    LineReader lines(device);
    LineReader::Line header;
    if (!lines.next(header) || header.overlong) {
        result.refusal = LogReadResult::Refusal::NotALog;
        return result;
    }
    const QByteArray csvHeader = csvHeaderLine().chopped(2);
    const QByteArray headerText = withoutBom(header.text);
    if (headerText == csvHeader)
        result.format = LogFormat::Csv;
    else if (cp1250::decode(header.text) == logHeaderText())
        result.format = LogFormat::Text;
    else {
        result.refusal = LogReadResult::Refusal::NotALog;
        return result;
    }

    TrendHistory read(into.capacity());
    Reading reading(read, result);
    std::array<QByteArrayView, kColumns> fields;
    auto passedOver = [&](const LineReader::Line& line) {
        return !line.overlong && (trimmed(line.text).isEmpty() || line.text == header.text);
    };

    if (result.format == LogFormat::Csv) {
        LocalClock local;
        LineReader::Line line;
        while (lines.next(line)) {
            if (passedOver(line))
                continue;
            std::optional<qint64> ms;
            if (line.terminated && !line.overlong && csvFields(line.text, fields))
                ms = isoTime(fields[0], local);
            if (!ms || !reading.take(*ms, fields, csvValue))
                reading.skip(line.number);
        }
    } else {
        // The first lines decide the locale and the decimal separator.
        std::vector<LineReader::Line> sample;
        LineReader::Line line;
        while (int(sample.size()) < kSampleLines && lines.next(line))
            sample.push_back(line);
        int points = 0;
        int commas = 0;
        for (const LineReader::Line& l : sample) {
            if (l.overlong || !quotedFields(l.text, fields))
                continue;
            for (int c = 1; c < kColumns; ++c) {
                const char s = separatorOf(fields[std::size_t(c)]);
                points += s == '.';
                commas += s == ',';
            }
        }
        const char point = commas > points ? ',' : '.';
        result.decimalPoint = QLatin1Char(point);
        int best = -1;
        for (const QLocale& locale : locales) {
            StampReader stamps(locale);
            int read = 0;
            for (const LineReader::Line& l : sample)
                if (!l.overlong && quotedFields(l.text, fields) && stamps.read(cp1250::decode(fields[0])))
                    ++read;
            if (read > best) {
                best = read;
                result.locale = locale;
            }
        }

        StampReader stamps(result.locale);
        auto value = [point](QByteArrayView field) { return textValue(field, point); };
        auto readLine = [&](const LineReader::Line& l) {
            if (passedOver(l))
                return;
            std::optional<qint64> ms;
            if (!l.overlong && quotedFields(l.text, fields))
                ms = stamps.read(cp1250::decode(fields[0]));
            if (!ms || !reading.take(*ms, fields, value))
                reading.skip(l.number);
        };
        for (const LineReader::Line& l : sample)
            readLine(l);
        while (lines.next(line))
            readLine(line);
    }
    result.dropped = read.dropped();
    into = std::move(read);
    return result;
}

LogReadResult readLogFile(const QString& path, TrendHistory& into, const QList<QLocale>& locales)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        LogReadResult result;
        result.refusal = LogReadResult::Refusal::CannotOpen;
        result.reason = file.errorString();
        return result;
    }
    return readLog(file, into, locales);
}

} // namespace kvam
