// A long run of the real window on the measurement page against the paced virtual meter ("DEMO"),
// with the communication monitor on: prints the resident size at the start, at every report, at
// the end, and the growth per hour measured after the warm-up; and the refresh of the page: the time
// between consecutive measurement records (mean, least, most) and the scheduler ticks lost against
// the polling cycle (each tick sends one poll, and one more tick rewinds the cycle).
//
//   bench_soak [--minutes N | --seconds S] [--warmup S] [--every S] [--no-monitor] [--max-growth-kb K]
//              [--min-period S] [--max-period S]
//
// Defaults: 10 minutes, warm-up 60 s, a report every 60 s, monitor on, no verdict. With
// --max-growth-kb the program fails (exit code 1) when the highest resident size after the warm-up
// exceeds the size at the end of the warm-up by more than K kB. The peak, sampled every second, is
// judged rather than the last sample: with the monitor full the size still rises and falls by
// about 150 kB as the text document collects removed lines and compacts them, and a sample taken
// at a trough would hide a leak of that size.
// With --min-period / --max-period the program also fails when the mean time between measurement
// records falls outside that range: a check that the polls keep their schedule, not a speed test.

#include "app/MainPages.h"
#include "app/TForm1.h"
#include "link/LinkDriver.h"
#include "protocol/Commands.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>

using namespace kvam;

namespace {

struct Options
{
    double seconds = 600;
    double warmup = 60;
    double every = 60;
    bool monitor = true;
    std::optional<long> maxGrowthKb;
    std::optional<double> minPeriod;
    std::optional<double> maxPeriod;
};

/// VmRSS of this process in kB, -1 when /proc cannot be read. (QFile sees /proc files as empty.)
long residentKb()
{
    std::FILE* f = std::fopen("/proc/self/status", "r");
    if (!f)
        return -1;
    long kb = -1;
    char line[256];
    while (std::fgets(line, sizeof line, f)) {
        if (std::sscanf(line, "VmRSS: %ld kB", &kb) == 1)
            break;
    }
    std::fclose(f);
    return kb;
}

bool number(const char* text, double& out)
{
    char* end = nullptr;
    out = std::strtod(text, &end);
    return end != text && *end == '\0' && out >= 0;
}

std::optional<Options> parse(int argc, char** argv)
{
    Options o;
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        const char* v = i + 1 < argc ? argv[i + 1] : nullptr;
        double x = 0;
        if (std::strcmp(a, "--no-monitor") == 0) {
            o.monitor = false;
            continue;
        }
        if (!v || !number(v, x))
            return std::nullopt;
        ++i;
        if (std::strcmp(a, "--minutes") == 0)
            o.seconds = x * 60;
        else if (std::strcmp(a, "--seconds") == 0)
            o.seconds = x;
        else if (std::strcmp(a, "--warmup") == 0)
            o.warmup = x;
        else if (std::strcmp(a, "--every") == 0)
            o.every = x;
        else if (std::strcmp(a, "--max-growth-kb") == 0)
            o.maxGrowthKb = static_cast<long>(x);
        else if (std::strcmp(a, "--min-period") == 0)
            o.minPeriod = x;
        else if (std::strcmp(a, "--max-period") == 0)
            o.maxPeriod = x;
        else
            return std::nullopt;
    }
    if (o.seconds <= 0 || o.every <= 0 || o.warmup >= o.seconds)
        return std::nullopt;
    return o;
}

} // namespace

int main(int argc, char* argv[])
{
    const std::optional<Options> parsed = parse(argc, argv);
    if (!parsed) {
        std::fprintf(stderr, "usage: bench_soak [--minutes N | --seconds S] [--warmup S] [--every S] "
                             "[--no-monitor] [--max-growth-kb K] [--min-period S] [--max-period S]\n(the "
                             "warm-up must be shorter than the run)\n");
        return 2;
    }
    const Options opt = *parsed;
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    TForm1 form; // paced virtual meter, as in the tool
    int refusals = 0;
    form.prompts().refuseDevice = [&](const QString&) { ++refusals; };
    form.prompts().showError = [](const QString& text) {
        std::fprintf(stderr, "error: %s\n", qPrintable(text));
    };
    auto* memo = form.findChild<QPlainTextEdit*>(QStringLiteral("Memo1"));
    auto* viewComm = form.findChild<QCheckBox*>(QStringLiteral("Viewcomm"));
    if (!memo || !viewComm) {
        std::fprintf(stderr, "the window has no Memo1 or Viewcomm\n");
        return 2;
    }
    viewComm->setChecked(opt.monitor);
    form.show();
    form.activatePage(QStringLiteral("TabSheet_Meres"));
    form.openPortByName(QStringLiteral("DEMO"));

    std::printf("measurement page, paced virtual meter, monitor %s, %.0f s (warm-up %.0f s)\n",
                opt.monitor ? "on" : "off", opt.seconds, opt.warmup);
    auto report = [&](const char* what, double t, long rss) {
        std::printf("%-7s %7.0f s  RSS %7ld kB  monitor %4d blocks, %7d characters, %6d undo steps\n", what,
                    t, rss, memo->document()->blockCount(), memo->document()->characterCount(),
                    memo->document()->availableUndoSteps());
        std::fflush(stdout);
    };

    QElapsedTimer clock;
    clock.start();

    // The refresh of the page: when each measurement record arrived.
    int netRecords = 0;
    qint64 firstNetMs = -1;
    qint64 lastNetMs = -1;
    qint64 minGapMs = -1;
    qint64 maxGapMs = -1;
    QObject::connect(&form.model(), &DeviceModel::netChanged, &form, [&] {
        const qint64 t = clock.elapsed();
        if (lastNetMs >= 0) {
            const qint64 gap = t - lastNetMs;
            minGapMs = minGapMs < 0 ? gap : std::min(minGapMs, gap);
            maxGapMs = std::max(maxGapMs, gap);
        } else {
            firstNetMs = t;
        }
        lastNetMs = t;
        ++netRecords;
    });
    const long startKb = residentKb();
    report("start", 0, startKb);
    long warmKb = -1;
    double warmAt = 0;
    long peakKb = -1; // after the warm-up

    QTimer sampler;
    sampler.setInterval(1000);
    QObject::connect(&sampler, &QTimer::timeout, [&] {
        if (warmKb >= 0)
            peakKb = std::max(peakKb, residentKb());
    });
    sampler.start();

    QTimer tick;
    tick.setInterval(static_cast<int>(opt.every * 1000));
    QObject::connect(&tick, &QTimer::timeout,
                     [&] { report("at", double(clock.elapsed()) / 1000, residentKb()); });
    tick.start();
    QTimer::singleShot(static_cast<int>(opt.warmup * 1000), [&] {
        warmAt = double(clock.elapsed()) / 1000;
        warmKb = residentKb();
        peakKb = warmKb;
        report("warm", warmAt, warmKb);
    });
    QTimer::singleShot(static_cast<int>(opt.seconds * 1000), &app, &QCoreApplication::quit);
    app.exec();

    const double endAt = double(clock.elapsed()) / 1000;
    const long endKb = residentKb();
    peakKb = std::max(peakKb, endKb);
    report("end", endAt, endKb);
    if (startKb < 0 || endKb < 0 || warmKb < 0) {
        std::fprintf(stderr, "cannot read the resident size from /proc/self/status\n");
        return 2;
    }
    const long growthKb = endKb - warmKb;
    const double perHourKb = double(growthKb) / (endAt - warmAt) * 3600;
    std::printf(
        "RSS start %ld kB, after warm-up %ld kB, end %ld kB; growth after warm-up %+ld kB in %.0f s = "
        "%+.0f kB per hour (%+.1f MB per hour)\n",
        startKb, warmKb, endKb, growthKb, endAt - warmAt, perHourKb, perHourKb / 1024);
    const long peakGrowthKb = peakKb - warmKb;
    std::printf("highest RSS after warm-up %ld kB (%+ld kB)\n", peakKb, peakGrowthKb);

    // The page's cycle: one tick per poll (the version is read once, not polled) and the rewind tick.
    const MainPage* page = findMainPage("TabSheet_Meres");
    int polls = 0;
    for (int k = 1; k <= kCommandCount; ++k)
        polls += page && k != Read_Version && page->polls.polls(k);
    const int tickMs = form.link().commTimer().interval();
    const double cycleS = double((polls + 1) * tickMs) / 1000;
    double meanPeriodS = 0;
    if (netRecords >= 2) {
        const double spanS = double(lastNetMs - firstNetMs) / 1000;
        meanPeriodS = spanS / (netRecords - 1);
        const long expected = std::lround(spanS / cycleS) + 1;
        const double ticksLost = (spanS - (netRecords - 1) * cycleS) * 1000 / tickMs;
        std::printf(
            "measurement records %d in %.1f s: refresh period mean %.3f s, least %.3f s, most %.3f s; "
            "the schedule (%d polls and the rewind, %d ms a tick) gives %.3f s, %ld records; ticks lost "
            "%.0f\n",
            netRecords, spanS, meanPeriodS, double(minGapMs) / 1000, double(maxGapMs) / 1000, polls, tickMs,
            cycleS, expected, std::max(0.0, ticksLost));
    } else {
        std::printf("measurement records %d: too few for a refresh period\n", netRecords);
    }
    std::printf("monitor at the end: %d lines\n", memo->document()->blockCount());
    int verdict = 0;
    if (opt.minPeriod || opt.maxPeriod) {
        if (netRecords < 2 || (opt.minPeriod && meanPeriodS < *opt.minPeriod) ||
            (opt.maxPeriod && meanPeriodS > *opt.maxPeriod)) {
            std::printf("FAIL: refresh period mean %.3f s outside %.2f..%.2f s\n", meanPeriodS,
                        opt.minPeriod.value_or(0), opt.maxPeriod.value_or(0));
            verdict = 1;
        } else {
            std::printf("PASS: refresh period mean %.3f s within %.2f..%.2f s\n", meanPeriodS,
                        opt.minPeriod.value_or(0), opt.maxPeriod.value_or(0));
        }
    }
    if (refusals > 0) {
        std::fprintf(stderr, "the virtual meter's version was refused\n");
        return 1;
    }
    if (opt.maxGrowthKb) {
        if (peakGrowthKb > *opt.maxGrowthKb) {
            std::printf("FAIL: grew by %ld kB after the warm-up, more than the %ld kB allowed\n",
                        peakGrowthKb, *opt.maxGrowthKb);
            return 1;
        }
        std::printf("PASS: grew by %ld kB after the warm-up, within the %ld kB allowed\n", peakGrowthKb,
                    *opt.maxGrowthKb);
    }
    return verdict;
}
