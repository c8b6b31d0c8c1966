// The trend: the history's reduction to pixel columns against a brute-force walk of every record,
// its bounds and arrival order, the log reader on good and damaged files of both formats, and the
// page (picks, axes, pause, zoom, cursor, log files, gaps, language).

#include "device/DeviceModel.h"
#include "log/LogFile.h"
#include "log/LogReader.h"
#include "measure/TrendHistory.h"
#include "platform/LanguageSwitch.h"
#include "platform/UserPrompts.h"
#include "views/TrendPage.h"

#include <QBuffer>
#include <QChart>
#include <QChartView>
#include <QDateTime>
#include <QFile>
#include <QLabel>
#include <QLineSeries>
#include <QListWidget>
#include <QLocale>
#include <QPushButton>
#include <QScatterSeries>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>
#include <QValueAxis>

#include <cmath>
#include <limits>
#include <optional>
#include <random>

using namespace kvam;

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

int quantityNamed(const char* name)
{
    for (const TrendQuantity& q : trendQuantities())
        if (qstrcmp(q.name, name) == 0)
            return int(&q - trendQuantities().data());
    qFatal("no quantity %s", name);
}

// ---------------------------------------------------------------------------------------------
// The reference: every record walked, no block summaries.

struct Sample
{
    qint64 t;
    float v;
};

TrendTrace referenceTrace(const std::vector<Sample>& s, qint64 from, qint64 to, int columns)
{
    TrendTrace out;
    const qint64 span = to - from + 1;
    auto column = [&](qint64 t) { return (t - from) * columns / span; };
    auto finite = [&](std::size_t i) { return std::isfinite(s[i].v); };
    auto point = [&](std::size_t i) { return TrendPoint{s[i].t, s[i].v}; };
    // Least and greatest of the finite values at `idx`, earliest on a tie, in arrival order.
    auto extremes = [&](const std::vector<std::size_t>& idx) {
        std::optional<std::size_t> lo, hi;
        for (std::size_t i : idx) {
            if (!finite(i))
                continue;
            if (!lo || s[i].v < s[*lo].v)
                lo = i;
            if (!hi || s[i].v > s[*hi].v)
                hi = i;
        }
        std::vector<TrendPoint> p;
        if (lo) {
            p.push_back(point(std::min(*lo, *hi)));
            if (*lo != *hi)
                p.push_back(point(std::max(*lo, *hi)));
        }
        return p;
    };
    bool open = false;
    std::optional<TrendPoint> pending;
    auto extend = [&](const std::vector<TrendPoint>& p) {
        if (!open) {
            out.runStarts.push_back(out.points.size());
            if (pending)
                out.points.push_back(*pending);
        }
        pending.reset();
        out.points.insert(out.points.end(), p.begin(), p.end());
        open = true;
    };

    std::size_t first = 0;
    while (first < s.size()) {
        std::size_t end = first + 1;
        while (end < s.size() && s[end].t >= s[end - 1].t &&
               s[end].t - s[end - 1].t <= TrendHistory::kBreakMs)
            ++end;
        std::size_t a = first;
        while (a < end && s[a].t < from)
            ++a;
        std::size_t b = a;
        while (b < end && s[b].t <= to)
            ++b;
        const bool crosses = s[end - 1].t >= from && s[first].t <= to;
        open = false;
        pending.reset();
        if (crosses) {
            if (a > first && finite(a - 1))
                pending = point(a - 1);
            for (std::size_t i = a; i < b;) {
                std::size_t j = i;
                std::vector<std::size_t> cell;
                while (j < b && column(s[j].t) == column(s[i].t))
                    cell.push_back(j++);
                std::vector<std::size_t> gaps;
                for (std::size_t k : cell)
                    if (!finite(k))
                        gaps.push_back(k);
                if (gaps.empty()) {
                    extend(extremes(cell));
                } else {
                    std::vector<std::size_t> head, middle, tail;
                    for (std::size_t k : cell)
                        (k < gaps.front() ? head : k > gaps.back() ? tail : middle).push_back(k);
                    if (!head.empty())
                        extend(extremes(head));
                    open = false;
                    pending.reset();
                    if (const auto m = extremes(middle); !m.empty()) {
                        out.runStarts.push_back(out.points.size());
                        out.points.insert(out.points.end(), m.begin(), m.end());
                    }
                    if (!tail.empty())
                        extend(extremes(tail));
                }
                i = j;
            }
            if (b < end && finite(b) && (open || pending))
                extend({point(b)});
        }
        first = end;
    }
    return out;
}

QString describe(const TrendTrace& t)
{
    QStringList runs;
    for (std::size_t k = 0; k < t.runCount(); ++k) {
        QStringList points;
        for (const TrendPoint& p : t.run(k))
            points << QStringLiteral("%1:%2").arg(p.t).arg(double(p.v));
        runs << points.join(u' ');
    }
    return runs.join(QStringLiteral(" | "));
}

// ---------------------------------------------------------------------------------------------
// Logs

NetRecord recordFor(int i)
{
    NetRecord rec;
    for (const NetField& f : netFields())
        rec.set<float>(f.offset, float(100 + 3 * i) + float(f.offset) * 0.25f);
    return rec;
}

/// The value a quantity's logged text reads as.
float loggedValue(const NetRecord& rec, int quantity)
{
    QString text =
        netFieldText(rec, netFields()[trendQuantities()[std::size_t(quantity)].netField]).trimmed();
    return float(text.replace(u',', u'.').toDouble());
}

struct LocaleScope
{
    explicit LocaleScope(const QLocale& l) : before(QLocale()) { QLocale::setDefault(l); }
    ~LocaleScope() { QLocale::setDefault(before); }
    QLocale before;
};

/// A text log as the window writes it in `locale`: one record a second from `start`.
QByteArray textLog(const QLocale& locale, const QDateTime& start, int lines)
{
    const LocaleScope scope(locale);
    QByteArray out = logHeaderLine();
    for (int i = 0; i < lines; ++i) {
        const NetRecord rec = recordFor(i);
        out += logRecordLine(start.addSecs(i), logFieldTexts(&rec), locale);
    }
    return out;
}

QByteArray csvLog(const QDateTime& start, int lines)
{
    QByteArray out = csvHeaderLine();
    for (int i = 0; i < lines; ++i)
        out += csvRecordLine(start.addMSecs(i * 1000 + 125), recordFor(i));
    return out;
}

LogReadResult read(QByteArray bytes, TrendHistory& into)
{
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    return readLog(buffer, into);
}

const QLocale kHungarian(QLocale::Hungarian, QLocale::Hungary);
const QLocale kEnglishUs(QLocale::English, QLocale::UnitedStates);
const QLocale kGerman(QLocale::German, QLocale::Germany);
const QLocale kArabic(QLocale::Arabic, QLocale::Egypt);

} // namespace

Q_DECLARE_METATYPE(LogReadResult::Refusal)
Q_DECLARE_METATYPE(LogFormat)

class TstTrend : public QObject
{
    Q_OBJECT

private slots:
    void init() { QLocale::setDefault(QLocale::c()); }

    // -----------------------------------------------------------------------------------------
    // The history

    void decimationMatchesBruteForce_data()
    {
        QTest::addColumn<int>("records");
        QTest::addColumn<int>("capacity");
        QTest::addColumn<int>("columns");
        QTest::addColumn<double>("gaps");   // share of values that are not finite
        QTest::addColumn<double>("breaks"); // share of records after a clock step or a silence
        QTest::addColumn<quint32>("seed");
        // Sizes around the block sizes (16, 256, 4096), widths from one column to more columns
        // than records, no gaps to mostly gaps, drops beyond the capacity.
        QTest::newRow("one record") << 1 << 100 << 10 << 0.0 << 0.0 << 1u;
        QTest::newRow("a block of 16") << 16 << 100 << 5 << 0.0 << 0.0 << 2u;
        QTest::newRow("17 in one column") << 17 << 100 << 1 << 0.1 << 0.0 << 3u;
        QTest::newRow("257, narrow") << 257 << 1000 << 3 << 0.05 << 0.0 << 4u;
        QTest::newRow("4097, no gaps") << 4097 << 10000 << 700 << 0.0 << 0.0 << 5u;
        QTest::newRow("4097, gaps") << 4097 << 10000 << 700 << 0.02 << 0.001 << 6u;
        QTest::newRow("10000, wide") << 10000 << 20000 << 20000 << 0.01 << 0.001 << 7u;
        QTest::newRow("20000, mostly gaps") << 20000 << 30000 << 400 << 0.7 << 0.0 << 8u;
        QTest::newRow("30000 over 9000 dropped") << 30000 << 9000 << 600 << 0.01 << 0.002 << 9u;
        QTest::newRow("50000, clock steps") << 50000 << 50000 << 1000 << 0.001 << 0.01 << 10u;
        QTest::newRow("86400, a day") << 86400 << 86400 << 501 << 0.0005 << 0.0001 << 11u;
    }
    void decimationMatchesBruteForce()
    {
        QFETCH(int, records);
        QFETCH(int, capacity);
        QFETCH(int, columns);
        QFETCH(double, gaps);
        QFETCH(double, breaks);
        QFETCH(quint32, seed);
        std::mt19937 rng(seed);
        std::uniform_real_distribution<double> u(0.0, 1.0);
        // Quantity 0 takes values of few levels (ties), quantity 33 noisy ones.
        TrendHistory history(capacity);
        std::vector<Sample> s0, s33;
        qint64 t = 1'780'000'000'000;
        for (int i = 0; i < records; ++i) {
            if (u(rng) < breaks)
                t += u(rng) < 0.5 ? -qint64(u(rng) * 3'600'000) : 10'001 + qint64(u(rng) * 60'000);
            else
                t += qint64(u(rng) * 1500); // sometimes twice in the same millisecond
            auto value = [&](float finite) {
                if (u(rng) >= gaps)
                    return finite;
                const double k = u(rng);
                return k < 0.5 ? kNaN : k < 0.75 ? kInf : -kInf;
            };
            TrendValues v;
            v.fill(0.0f);
            v[0] = value(float(int(u(rng) * 8)));
            v[33] = value(float(230.0 + 20.0 * std::sin(i * 0.01) + u(rng)));
            history.append(t, v);
            s0.push_back({t, v[0]});
            s33.push_back({t, v[33]});
        }
        // The reference holds what the history keeps: the newest records.
        const std::size_t kept = std::min<std::size_t>(s0.size(), std::size_t(capacity));
        s0.erase(s0.begin(), s0.end() - qsizetype(kept));
        s33.erase(s33.begin(), s33.end() - qsizetype(kept));
        QCOMPARE(history.size(), qsizetype(kept));

        const auto [lo, hi] = *history.timeSpan();
        std::vector<std::pair<qint64, qint64>> windows{{lo, hi}, {lo - 5000, hi + 5000}};
        for (int w = 0; w < 6; ++w) {
            const qint64 a = lo + qint64(u(rng) * double(hi - lo));
            windows.emplace_back(a, a + 1 + qint64(u(rng) * double(hi - a)));
        }
        windows.emplace_back(lo + (hi - lo) / 2, lo + (hi - lo) / 2 + 200); // between two records
        const std::vector<int> both{0, 33};
        for (const auto& [from, to] : windows) {
            if (to <= from)
                continue;
            const std::vector<TrendTrace> got = history.decimate(both, from, to, columns);
            const TrendTrace want0 = referenceTrace(s0, from, to, columns);
            const TrendTrace want33 = referenceTrace(s33, from, to, columns);
            const QString where = QStringLiteral("window %1..%2").arg(from).arg(to);
            QVERIFY2(
                got[0].points == want0.points && got[0].runStarts == want0.runStarts,
                qPrintable(where + u'\n' + describe(got[0]).left(600) + u'\n' + describe(want0).left(600)));
            QVERIFY2(got[1].points == want33.points && got[1].runStarts == want33.runStarts,
                     qPrintable(where));
            // Only finite values are drawn.
            for (const TrendTrace* trace : {&got[0], &got[1]})
                for (const TrendPoint& p : trace->points)
                    QVERIFY2(std::isfinite(p.v), qPrintable(where));
            // At most two values per column and piece: the work is bound by the pixels.
            QVERIFY(got[1].points.size() <= std::size_t(6 * columns + 2 * history.stretches().size() + 2));
        }
    }

    void arrivalOrderAndBounds()
    {
        // The clock steps back an hour after the third record and jumps ahead after the fifth:
        // nothing is reordered or lost, and three stretches begin.
        TrendHistory h(6);
        const qint64 times[] = {10'000, 11'000, 12'000, 12'000 - 3'600'000, 13'000 - 3'600'000,
                                60'000, 61'000};
        for (qint64 t : times) {
            TrendValues v;
            v.fill(float(t));
            h.append(t, v);
        }
        QCOMPARE(h.size(), qsizetype(6)); // the oldest dropped
        QCOMPARE(h.dropped(), qint64(1));
        for (qsizetype i = 0; i < h.size(); ++i) {
            QCOMPARE(h.time(i), times[i + 1]);
            QCOMPARE(h.value(i, 7), float(times[i + 1]));
        }
        using R = std::vector<std::pair<qsizetype, qsizetype>>;
        QCOMPARE(h.stretches(), (R{{0, 2}, {2, 4}, {4, 6}}));
        QCOMPARE(h.timeSpan()->first, 12'000 - 3'600'000);
        QCOMPARE(h.timeSpan()->second, qint64(61'000));
        QCOMPARE(*h.nearest(11'900), qsizetype(1));
        QCOMPARE(*h.nearest(12'500 - 3'600'000), qsizetype(3)); // a tie: the later record
        // The same time in two stretches: the later arrival.
        h.append(11'000, TrendValues{});
        QCOMPARE(*h.nearest(11'000), qsizetype(5));

        // A day at one record a second stays within its bound of memory.
        TrendHistory day;
        for (qint64 i = 0; i < 2 * TrendHistory::kDefaultCapacity; ++i)
            day.append(i * 1000, TrendValues{});
        QCOMPARE(day.size(), TrendHistory::kDefaultCapacity);
        QVERIFY2(day.memoryBytes() < 30 * 1024 * 1024, qPrintable(QString::number(day.memoryBytes())));
        QCOMPARE(day.time(0), TrendHistory::kDefaultCapacity * 1000);
    }

    void gapsAreNeverSpikes()
    {
        // NaN and infinities between finite values: the line splits there, and nothing is drawn
        // beyond the finite values, whatever the width.
        TrendHistory h;
        const float values[] = {230, 231, kNaN, 232, kInf, -kInf, 233, 229, kNaN};
        for (int i = 0; i < 9; ++i) {
            TrendValues v;
            v.fill(values[i]);
            h.append(1000 * i, v);
        }
        for (int columns : {1, 3, 9, 1000}) {
            const TrendTrace t = h.decimate(0, 0, 8000, columns);
            QVERIFY(!t.points.empty());
            for (const TrendPoint& p : t.points)
                QVERIFY2(p.v >= 229 && p.v <= 233, qPrintable(QString::number(columns)));
        }
        const TrendTrace fine = h.decimate(0, 0, 8000, 1000);
        QCOMPARE(fine.runCount(), std::size_t(3));
        QCOMPARE(std::vector<TrendPoint>(fine.run(0).begin(), fine.run(0).end()),
                 (std::vector<TrendPoint>{{0, 230}, {1000, 231}}));
        QCOMPARE(fine.run(1).size(), std::size_t(1)); // 232 alone
        QCOMPARE(std::vector<TrendPoint>(fine.run(2).begin(), fine.run(2).end()),
                 (std::vector<TrendPoint>{{6000, 233}, {7000, 229}}));
    }

    // -----------------------------------------------------------------------------------------
    // The log reader

    void readsLogs_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<LogReadResult::Refusal>("refusal");
        QTest::addColumn<LogFormat>("format");
        QTest::addColumn<int>("records");
        QTest::addColumn<int>("skipped");
        QTest::addColumn<int>("firstSkipped");
        QTest::addColumn<QString>("locale");

        using Re = LogReadResult::Refusal;
        // Starting before midnight, so that one line holds the date alone.
        const QDateTime start(QDate(2026, 3, 5), QTime(23, 59, 57));
        const QByteArray hu = textLog(kHungarian, start, 6);
        QTest::newRow("text, Hungarian") << hu << Re::None << LogFormat::Text << 6 << 0 << 0 << "hu_HU";
        QTest::newRow("text, English (US)")
            << textLog(kEnglishUs, start, 6) << Re::None << LogFormat::Text << 6 << 0 << 0 << "en_US";
        QTest::newRow("text, German")
            << textLog(kGerman, start, 6) << Re::None << LogFormat::Text << 6 << 0 << 0 << "de_DE";
        QTest::newRow("text, LF only")
            << QByteArray(hu).replace("\r\n", "\n") << Re::None << LogFormat::Text << 6 << 0 << 0 << "hu_HU";
        QTest::newRow("csv") << csvLog(start, 6) << Re::None << LogFormat::Csv << 6 << 0 << 0 << "";

        // Damage: a line cut short at the end, lines broken in the middle, numbers of another
        // locale, a header again, blank lines, a line far too long.
        QTest::newRow("text cut short")
            << hu.left(hu.size() - 200) << Re::None << LogFormat::Text << 5 << 1 << 7 << "hu_HU";
        const QByteArray csv = csvLog(start, 6);
        QTest::newRow("csv without its last line end")
            << csv.left(csv.size() - 2) << Re::None << LogFormat::Csv << 5 << 1 << 7 << "";
        QList<QByteArray> lines = hu.split('\n');
        lines[2] = "\"2026. 03. 05. 23:59:58\";\"1,0\"\r"; // fields missing
        lines[4] = lines[4].replace(";\"", ";\"x");        // not numbers
        lines[5] = lines[5].replace("\";\"", "\",\"");     // another separator
        lines.insert(3, logHeaderLine().chopped(1));       // a header again
        lines.insert(3, "\r");                             // a blank line
        lines.insert(3, QByteArray(100'000, 'z') + '\r');  // far too long
        QTest::newRow("text, broken lines")
            << lines.join('\n') << Re::None << LogFormat::Text << 3 << 4 << 3 << "hu_HU";
        QList<QByteArray> mixed = hu.split('\n');
        {
            const LocaleScope scope(kEnglishUs); // '.' where the file has ','
            const NetRecord rec = recordFor(9);
            mixed[4] = logRecordLine(start.addSecs(2), logFieldTexts(&rec), kHungarian).chopped(1);
        }
        QTest::newRow("text, a line of another locale's numbers")
            << mixed.join('\n') << Re::None << LogFormat::Text << 5 << 1 << 5 << "hu_HU";
        QTest::newRow("text, an unknown locale's numbers and times")
            << textLog(kArabic, start, 4) << Re::None << LogFormat::Text << 0 << 4 << 2 << "";
        QList<QByteArray> c = csv.split('\n');
        c[1] = c[1].left(c[1].lastIndexOf(',')) + '\r'; // a column missing
        c[2] = c[2].replace(",1", ",x1");               // a letter in a number
        c[3] = c[3].replace("2026-03-", "2026-13-");    // no such month
        c[4] = c[4].replace('T', ' ');                  // not ISO 8601
        c[5] = c[5].chopped(1) + ",7\r";                // a column too many
        QTest::newRow("csv, broken lines") << c.join('\n') << Re::None << LogFormat::Csv << 1 << 5 << 2 << "";
        // The same instants with other offsets read the same; a date alone and a day the year lacks
        // are no times of the log.
        QList<QByteArray> z = csv.split('\n');
        auto retime = [&](int line, const QString& time) {
            z[line] = time.toLatin1() + z[line].mid(z[line].indexOf(','));
        };
        auto written = [&](int line) { return start.addMSecs((line - 1) * 1000 + 125); };
        const QString iso = QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz");
        retime(1, written(1).toUTC().toString(iso) + 'Z');
        retime(2, written(2).toOffsetFromUtc(-(3 * 3600 + 1800)).toString(iso) + "-03:30");
        retime(3, written(3).toString(iso));
        retime(4, written(4).date().toString(Qt::ISODate));
        retime(5, "2026-02-29" + written(5).toString(iso).mid(10));
        QTest::newRow("csv, offsets and dates")
            << z.join('\n') << Re::None << LogFormat::Csv << 4 << 2 << 5 << "";

        // Not ours: nothing is read.
        QTest::newRow("empty") << QByteArray() << Re::NotALog << LogFormat::Text << 0 << 0 << 0 << "";
        QTest::newRow("another header") << QByteArray("time;U1;U2\r\n\"1\";\"2\";\"3\"\r\n") << Re::NotALog
                                        << LogFormat::Text << 0 << 0 << 0 << "";
        QTest::newRow("a settings file") << QByteArray("[21001234]\r\nRatio1=1\r\n") << Re::NotALog
                                         << LogFormat::Text << 0 << 0 << 0 << "";
        QTest::newRow("binary") << QByteArray(5000, '\0') << Re::NotALog << LogFormat::Text << 0 << 0 << 0
                                << "";
        QTest::newRow("no line end in 3 MB")
            << QByteArray(3'000'000, 'a') << Re::NotALog << LogFormat::Text << 0 << 0 << 0 << "";
    }
    void readsLogs()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(LogReadResult::Refusal, refusal);
        QFETCH(LogFormat, format);
        QFETCH(int, records);
        QFETCH(int, skipped);
        QFETCH(int, firstSkipped);
        QFETCH(QString, locale);

        // What the history held before stays when the file is refused.
        TrendHistory history;
        history.append(42, recordFor(0));
        const LogReadResult r = read(bytes, history);
        QCOMPARE(r.refusal, refusal);
        if (refusal != LogReadResult::Refusal::None) {
            QCOMPARE(history.size(), qsizetype(1));
            QCOMPARE(history.time(0), qint64(42));
            return;
        }
        QCOMPARE(r.format, format);
        QCOMPARE(r.records, qsizetype(records));
        QCOMPARE(r.skipped, qsizetype(skipped));
        QCOMPARE(r.firstSkippedLine, qsizetype(firstSkipped));
        QCOMPARE(history.size(), qsizetype(records));
        if (!locale.isEmpty())
            QCOMPARE(r.locale.name(), locale);

        // Every record read is one the file's writer logged: its time and its values as shown.
        const QDateTime start(QDate(2026, 3, 5), QTime(23, 59, 57));
        const int u1 = quantityNamed("L1urms");
        const int pf = quantityNamed("Sumpf");
        for (qsizetype i = 0; i < history.size(); ++i) {
            const qint64 offset = history.time(i) - start.toMSecsSinceEpoch();
            const int line = int(offset / 1000);
            QVERIFY2(offset % 1000 == (format == LogFormat::Csv ? 125 : 0),
                     qPrintable(QString::number(offset)));
            QVERIFY(line >= 0 && line < 10);
            QCOMPARE(history.value(i, u1), loggedValue(recordFor(line), u1));
            QVERIFY(std::isnan(history.value(i, pf))); // not logged
        }
    }

    void readsWhatTheLogHoldsForNoMeasurement()
    {
        // Before the first measurement the window logs "-": a record of gaps, at midnight the date alone.
        const QByteArray bytes = logHeaderLine() + logRecordLine(QDateTime(QDate(2026, 3, 6), QTime(0, 0)),
                                                                 logFieldTexts(nullptr), kHungarian);
        TrendHistory h;
        const LogReadResult r = read(bytes, h);
        QCOMPARE(r.records, qsizetype(1));
        QCOMPARE(h.time(0), QDateTime(QDate(2026, 3, 6), QTime(0, 0)).toMSecsSinceEpoch());
        for (int q = 0; q < kTrendQuantityCount; ++q)
            QVERIFY(std::isnan(h.value(0, q)));
    }

    // -----------------------------------------------------------------------------------------
    // The page

    void pagePicksAndAxes()
    {
        TrendPage page;
        const int u1 = quantityNamed("L1urms"), i1 = quantityNamed("L1irms"), p = quantityNamed("Sump"),
                  f = quantityNamed("L1f"), pf = quantityNamed("Sumpf");
        QCOMPARE(page.picked().size(), qsizetype(TrendPage::kMaxPicked)); // the voltages and currents
        QVERIFY(!page.setPicked(p, true));
        QVERIFY(!page.picked().contains(p));
        // A seventh ticked in the list is taken back there too.
        QListWidgetItem* item = page.findChild<QListWidget*>(QStringLiteral("TrendQuantities"))->item(p);
        QVERIFY(!(item->flags() & Qt::ItemIsEnabled));
        item->setCheckState(Qt::Checked);
        QCOMPARE(item->checkState(), Qt::Unchecked);
        QVERIFY(!page.picked().contains(p));
        QVERIFY(page.setPicked(i1, false));
        QVERIFY(page.setPicked(p, true));
        QCOMPARE(page.chart()->axes(Qt::Vertical).size(), 3); // V, A, kW
        QVERIFY(page.axisOf(QStringLiteral("kW")));
        for (int q : page.picked())
            if (q != u1)
                page.setPicked(q, false);
        page.setPicked(f, true);
        page.setPicked(pf, true);
        QCOMPARE(page.picked(), (QList<int>{u1, f, pf}));
        QCOMPARE(page.chart()->axes(Qt::Vertical).size(), 3); // V, Hz, the power factor's
        QVERIFY(!page.axisOf(QStringLiteral("kW")));
        QVERIFY(page.axisOf(QString()));
    }

    void pageFollowsPausesAndZooms()
    {
        TrendPage page;
        qint64 now = 1'780'000'000'000;
        page.setClock([&] { return now; });
        const qint64 window = page.windowMs();
        for (int i = 0; i < 100; ++i)
            page.record(now += 1000, recordFor(i));
        page.redraw();
        QCOMPARE(page.viewRange(), std::make_pair(now - window, now));

        // Paused, the view stands while the history grows.
        page.setPaused(true);
        const auto frozen = page.viewRange();
        for (int i = 0; i < 10; ++i)
            page.record(now += 1000, recordFor(i));
        QCOMPARE(page.viewRange(), frozen);
        QCOMPARE(page.liveHistory().size(), qsizetype(110));
        page.setPaused(false);
        QCOMPARE(page.viewRange(), std::make_pair(now - window, now));

        // Zoomed twice, back twice: to the range before, then to following the window.
        page.zoomTo(now - 50'000, now - 20'000);
        page.zoomTo(now - 40'000, now - 30'000);
        page.record(now += 1000, recordFor(0));
        QCOMPARE(page.viewRange(), std::make_pair(now - 41'000, now - 31'000));
        QVERIFY(page.zoomBack());
        QCOMPARE(page.viewRange(), std::make_pair(now - 51'000, now - 21'000));
        QVERIFY(page.zoomBack());
        QCOMPARE(page.viewRange(), std::make_pair(now - window, now));
        QVERIFY(!page.zoomBack());

        // The cursor reads out every curve at the record nearest its time.
        page.placeCursor(now - 5'400);
        const NetRecord rec = recordFor(5); // the record of now - 5 s
        const QString text = page.cursorText();
        for (int q : page.picked()) {
            const TrendQuantity& quantity = trendQuantities()[std::size_t(q)];
            const QString shown = netFieldText(rec, netFields()[quantity.netField]).trimmed();
            QVERIFY2(text.contains(
                         QStringLiteral("%1 %2 %3")
                             .arg(QLatin1String(quantity.label), shown, QString::fromUtf8(quantity.unit))),
                     qPrintable(text));
        }
        page.placeCursor(now - 3'600'000);
        QVERIFY(page.cursorText().endsWith(currentText("Trend.NoData")));
    }

    void pageZoomsWithTheMouse()
    {
        // A drag over the plot zooms into the stretch it covers, the right button goes back, and
        // the cursor follows the mouse.
        TrendPage page;
        const qint64 now = 1'780'000'000'000;
        page.setClock([&] { return now; });
        for (int i = 0; i < 900; ++i)
            page.record(now - (899 - i) * 1000, recordFor(i % 50));
        page.show();
        QVERIFY(QTest::qWaitForWindowExposed(&page));
        page.redraw();
        const QRectF plot = page.chart()->plotArea();
        QWidget* viewport = page.chartView()->viewport();
        auto at = [&](double f) {
            return page.chartView()->mapFromScene(
                page.chart()->mapToScene(QPointF(plot.left() + f * plot.width(), plot.center().y())));
        };
        const auto before = page.viewRange();
        QTest::mousePress(viewport, Qt::LeftButton, {}, at(0.25));
        QTest::mouseMove(viewport, at(0.5));
        QTest::mouseRelease(viewport, Qt::LeftButton, {}, at(0.5));
        QTRY_VERIFY(page.zoomed());
        const auto [from, to] = page.viewRange();
        const qint64 quarter = (before.second - before.first) / 4;
        QVERIFY2(std::abs(from - (before.first + quarter)) < quarter / 10 &&
                     std::abs(to - (before.first + 2 * quarter)) < quarter / 10,
                 qPrintable(QStringLiteral("%1..%2").arg(from - before.first).arg(to - before.first)));

        QTest::mouseMove(viewport, at(0.5));
        QVERIFY(page.cursorText().startsWith(
            QDateTime::fromMSecsSinceEpoch(
                page.liveHistory().time(*page.liveHistory().nearest((from + to) / 2)))
                .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))));

        QTest::mouseClick(viewport, Qt::RightButton, {}, at(0.5));
        QVERIFY(!page.zoomed());
        QCOMPARE(page.viewRange(), before);
    }

    void pageDrawsGapsAsGaps()
    {
        // A measurement that is not a number in the middle: two lines, no point at it, no value
        // outside the finite ones.
        TrendPage page;
        const qint64 now = 1'780'000'000'000;
        page.setClock([&] { return now; });
        for (int i = 0; i < 60; ++i) {
            NetRecord rec = recordFor(0);
            rec.set<float>(net::L1urms.offset, i == 30 ? kNaN : i == 31 ? kInf : 230.0f + float(i % 3));
            page.record(now - (59 - i) * 1000, rec);
        }
        page.redraw();
        const int u1 = quantityNamed("L1urms");
        int drawn = 0;
        for (QLineSeries* s : page.linesOf(u1)) {
            if (s->count() > 0)
                ++drawn;
            for (const QPointF& p : s->points())
                QVERIFY2(p.y() >= 230.0 && p.y() <= 232.0, qPrintable(QString::number(p.y())));
        }
        QCOMPARE(drawn, 2);
        QCOMPARE(page.dotsOf(u1)->count(), 0);
        QVERIFY(page.axisOf(QStringLiteral("V"))->max() < 300.0);
    }

    void pageOpensLogs()
    {
        QTemporaryDir dir;
        const QString good = dir.filePath(QStringLiteral("good.txt"));
        const QString foreign = dir.filePath(QStringLiteral("other.txt"));
        QByteArray bytes = textLog(kHungarian, QDateTime(QDate(2026, 3, 5), QTime(10, 0)), 120);
        bytes.insert(bytes.indexOf('\n') + 1, "\"broken\r\n");
        QFile f(good);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size());
        f.close();
        QFile o(foreign);
        QVERIFY(o.open(QIODevice::WriteOnly) && o.write("just some text\r\n") > 0);
        o.close();

        TrendPage page;
        UserPrompts prompts(nullptr);
        QStringList errors;
        prompts.showError = [&](const QString& text) { errors << text; };
        QString chosen = good;
        prompts.chooseFile = [&](const FileRequest&) { return chosen; };
        DeviceModel model;
        page.attach(model, prompts);

        page.openLogClicked();
        QCOMPARE(page.source(), TrendPage::Source::File);
        QCOMPARE(page.shownHistory().size(), qsizetype(120));
        QCOMPARE(page.windowMs(), qint64(300'000)); // the shortest window that holds the file
        QVERIFY2(
            page.sourceText().startsWith(currentText("Trend.File").arg(QStringLiteral("good.txt")).arg(120)),
            qPrintable(page.sourceText()));
        QVERIFY(page.sourceText().contains(currentText("Trend.Skipped").arg(1).arg(2)));
        QVERIFY(errors.isEmpty());

        // A file that is not a log: the user is told, the file shown stays.
        chosen = foreign;
        page.openLogClicked();
        QCOMPARE(errors.size(), qsizetype(1));
        QVERIFY(errors.first().contains(foreign));
        QCOMPARE(page.shownHistory().size(), qsizetype(120));
        QVERIFY(!page.openLog(dir.filePath(QStringLiteral("missing.txt"))));
        QCOMPARE(errors.size(), qsizetype(2));

        page.showLive();
        QCOMPARE(page.source(), TrendPage::Source::Live);
    }

    void pageTextsFollowTheLanguage()
    {
        TrendPage page;
        auto* source = page.findChild<QLabel*>(QStringLiteral("TrendSource"));
        auto* pause = page.findChild<QPushButton*>(QStringLiteral("TrendPause"));
        QCOMPARE(source->text(), QStringLiteral("Élő adatok: 0 rekord"));
        applyLanguage({&page}, Language::English);
        QCOMPARE(source->text(), QStringLiteral("Live data: 0 records"));
        QCOMPARE(pause->text(), QStringLiteral("Pause"));
        applyLanguage({&page}, Language::Hungarian);
        QCOMPARE(source->text(), QStringLiteral("Élő adatok: 0 rekord"));
    }
};

QTEST_MAIN(TstTrend)
#include "tst_trend.moc"
