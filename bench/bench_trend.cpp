// The trend page's figures: the memory of a history of 24 hours at one record a second, a redraw
// of six curves over that history (the reduction to the plot's pixel columns and the series set,
// then also the chart painted offscreen), and the reading of a log of 86,400 lines in either
// format. Exits 1 when a figure misses its target. With --screenshot FILE it saves a picture of
// the window on the trend page instead, with an hour of the virtual meter's measurements.
//
//   bench_trend [--rounds N] [--no-logs] [--screenshot FILE]

#include "app/TForm1.h"
#include "log/LogFile.h"
#include "log/LogReader.h"
#include "measure/TrendHistory.h"
#include "meter/VirtualMeter.h"
#include "protocol/Frame.h"
#include "views/TrendPage.h"

#include <QApplication>
#include <QChartView>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLineSeries>
#include <QLocale>
#include <QPixmap>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

using namespace kvam;

namespace {

constexpr qint64 kDayRecords = 86400;
constexpr double kRedrawTargetMs = 10.0;
constexpr double kMemoryTargetMb = 30.0;
constexpr double kReadTargetMs = 1000.0;

/// The virtual meter's measurement record at `seconds` on its clock.
class NetSamples
{
public:
    NetSamples() : m_meter({}, [this] { return m_now; }) {}

    NetRecord at(double seconds)
    {
        m_now = seconds;
        NetRecord rec;
        const std::vector<std::uint8_t> request = Frame(Read_Net, {}).encode();
        const auto answers = m_meter.receive(
            QByteArray(reinterpret_cast<const char*>(request.data()), qsizetype(request.size())));
        if (answers.empty())
            return rec;
        const QByteArray& bytes = answers.front().bytes;
        const auto frame = Frame::decode(
            std::span(reinterpret_cast<const std::uint8_t*>(bytes.constData()), std::size_t(bytes.size())));
        if (frame && frame->payload().size() >= rec.size())
            rec.copyFrom(frame->payload().data());
        return rec;
    }

private:
    double m_now = 0.0;
    VirtualMeter m_meter;
};

double residentMb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0.0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    return 0.0;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
}

double msSince(const QElapsedTimer& t)
{
    return double(t.nsecsElapsed()) / 1e6;
}

/// The CPU time of this thread in milliseconds: what a step costs whatever else the machine runs.
double cpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

/// A day of records, one a second, ending now; every value varies.
void fillDay(TrendHistory& history, qint64 end)
{
    NetSamples meter;
    // The meter's network repeats its disturbances every few minutes: a day of them is a fair load.
    for (qint64 k = 0; k < kDayRecords; ++k)
        history.append(end - (kDayRecords - 1 - k) * 1000, meter.at(double(k)));
}

int screenshot(const QString& file)
{
    TForm1::Options options;
    options.demoPacing = false;
    TForm1 form(options);
    form.move(0, 0);
    auto* page = form.findChild<TrendPage*>(QStringLiteral("TabSheet_Trend"));
    // An hour of what the virtual meter measures, up to now.
    const qint64 end = QDateTime::currentMSecsSinceEpoch();
    NetSamples meter;
    for (qint64 k = 0; k < 3600; ++k)
        page->liveHistory().append(end - (3599 - k) * 1000, meter.at(double(k)));
    page->setClock([end] { return end; });
    // Four units, four axes: the voltages of two phases, a current, the total active power and a
    // frequency, over five minutes.
    for (int q : page->picked())
        page->setPicked(q, false);
    for (const char* name : {"L1urms", "L2urms", "L1irms", "Sump", "L1f"})
        for (const TrendQuantity& q : trendQuantities())
            if (qstrcmp(q.name, name) == 0)
                page->setPicked(int(&q - trendQuantities().data()), true);
    page->setWindowIndex(1);
    form.activatePage(QStringLiteral("TabSheet_Trend"));
    form.show();
    QApplication::processEvents();
    page->redraw();
    page->placeCursor(end - 130'000);
    QApplication::processEvents();
    const bool saved = form.grab().save(file);
    std::printf("%s %s\n", saved ? "saved" : "could not save", qPrintable(file));
    return saved ? 0 : 1;
}

} // namespace

int main(int argc, char* argv[])
{
    int rounds = 30;
    QString shot;
    bool logs = true;
    for (int i = 1; i < argc; ++i) {
        if (qstrcmp(argv[i], "--rounds") == 0 && i + 1 < argc)
            rounds = std::max(1, std::atoi(argv[++i]));
        else if (qstrcmp(argv[i], "--no-logs") == 0)
            logs = false;
        else if (qstrcmp(argv[i], "--screenshot") == 0 && i + 1 < argc)
            shot = QString::fromLocal8Bit(argv[++i]);
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (!shot.isEmpty())
        return screenshot(shot);

    bool ok = true;
    auto verdict = [&](bool met) {
        ok = ok && met;
        return met ? "ok" : "MISSED";
    };

    // Memory: the history's own count, and what the process grew by while filling it.
    const qint64 end = QDateTime::currentMSecsSinceEpoch();
    const double before = residentMb();
    TrendHistory day;
    fillDay(day, end);
    const double grown = residentMb() - before;
    const double held = double(day.memoryBytes()) / (1024.0 * 1024.0);
    std::printf(
        "history of %lld records: %.1f MB held, resident size grew by %.1f MB  (target < %.0f MB) %s\n",
        qint64(day.size()), held, grown, kMemoryTargetMb, verdict(std::max(held, grown) < kMemoryTargetMb));

    // A redraw of six curves over 24 hours, as the live view makes one: a record arrives a second
    // later, the window moves on by a second, everything is reduced and set again.
    TrendPage page;
    page.liveHistory() = std::move(day);
    qint64 now = end;
    page.setClock([&now] { return now; });
    page.setWindowIndex(5);
    page.show();
    QApplication::processEvents();
    NetSamples meter;
    std::vector<NetRecord> arriving;
    for (int r = 0; r < rounds; ++r)
        arriving.push_back(meter.at(double(kDayRecords + r)));
    std::vector<double> redraws;
    std::vector<double> redrawsCpu;
    std::vector<double> painted;
    std::vector<double> paintedCpu;
    for (int r = 0; r < rounds; ++r) {
        now += 1000;
        QElapsedTimer t;
        t.start();
        const double c0 = cpuMs();
        page.record(now, arriving[std::size_t(r)]); // redraws: the page is shown and follows
        redraws.push_back(msSince(t));
        redrawsCpu.push_back(cpuMs() - c0);
        page.chartView()->viewport()->repaint();
        painted.push_back(msSince(t));
        paintedCpu.push_back(cpuMs() - c0);
    }
    qsizetype points = 0;
    for (int q : page.picked())
        for (QLineSeries* s : page.linesOf(q))
            points += s->count();
    // The judged figure is the CPU time: other builds on the machine stretch the wall-clock time.
    std::printf(
        "redraw of %lld curves over 24 h in %d columns (%lld points set): CPU median %.2f ms, most %.2f ms; "
        "wall-clock median %.2f ms  (target < %.0f ms) %s\n",
        qint64(page.picked().size()), page.columns(), qint64(points), median(redrawsCpu),
        *std::max_element(redrawsCpu.begin(), redrawsCpu.end()), median(redraws), kRedrawTargetMs,
        verdict(median(redrawsCpu) < kRedrawTargetMs));
    std::vector<double> reduced;
    const auto [from, to] = page.viewRange();
    const QList<int> pickedList = page.picked();
    const std::vector<int> picked(pickedList.begin(), pickedList.end());
    for (int r = 0; r < rounds; ++r) {
        const double c0 = cpuMs();
        const auto traces = page.liveHistory().decimate(picked, from, to, page.columns());
        reduced.push_back(cpuMs() - c0);
    }
    std::printf("  of which the reduction to the columns: CPU median %.2f ms\n", median(reduced));
    std::printf("  with the chart painted offscreen: CPU median %.2f ms; wall-clock median %.2f ms\n",
                median(paintedCpu), median(painted));

    if (!logs)
        return ok ? 0 : 1;

    // Reading a log of 86,400 lines in each format.
    QTemporaryDir dir;
    const QString text = dir.filePath(QStringLiteral("day.txt"));
    const QString csv = dir.filePath(QStringLiteral("day.csv"));
    {
        QFile t(text);
        QFile c(csv);
        if (!t.open(QIODevice::WriteOnly) || !c.open(QIODevice::WriteOnly)) {
            std::fprintf(stderr, "cannot write in %s\n", qPrintable(dir.path()));
            return 1;
        }
        t.write(logHeaderLine());
        c.write(csvHeaderLine());
        NetSamples meter;
        const QLocale locale;
        for (qint64 k = 0; k < kDayRecords; ++k) {
            const QDateTime moment = QDateTime::fromMSecsSinceEpoch(end - (kDayRecords - 1 - k) * 1000);
            const NetRecord rec = meter.at(double(k));
            t.write(logRecordLine(moment, logFieldTexts(&rec), locale));
            c.write(csvRecordLine(moment, rec));
        }
    }
    for (const QString& file : {text, csv}) {
        std::vector<double> times;
        LogReadResult result;
        for (int r = 0; r < 3; ++r) {
            TrendHistory history;
            QElapsedTimer t;
            t.start();
            result = readLogFile(file, history);
            times.push_back(msSince(t));
        }
        const bool whole = result.ok() && result.records == kDayRecords && result.skipped == 0;
        std::printf(
            "reading %s (%lld kB): %lld records, %lld skipped, median %.0f ms  (target < %.0f ms) %s\n",
            qPrintable(QFileInfo(file).fileName()), qint64(QFileInfo(file).size() / 1024),
            qint64(result.records), qint64(result.skipped), median(times), kReadTargetMs,
            verdict(whole && median(times) < kReadTargetMs));
    }
    return ok ? 0 : 1;
}
