// How long a configuration write takes on the normal schedule: the window against the paced
// in-process meter ("DEMO"), on the configuration page; each round edits one ratio, presses
// "Mentés készülékbe" (both records) and measures the time until the window has reported both
// writes verified (the acknowledgements and the read-backs compared). Prints every round and the
// least, median and most.
//
//   bench_write_verify [--rounds N] [--target S] [--fast]
//
// Defaults: 20 rounds, target 1.4 s (0.7 s with --fast: the fast refresh on). No review and no backups: the
// link's part alone. Exit code 1 when a write ended otherwise than verified, did not end within 10 s, or the
// most exceeded the target.

#include "app/TForm1.h"
#include "platform/NumericSpin.h"
#include "protocol/Commands.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPushButton>
#include <QStandardPaths>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <optional>
#include <vector>

using namespace kvam;

namespace {

struct Options
{
    int rounds = 20;
    double target = 1.4;
    bool fast = false;
};

std::optional<Options> parse(int argc, char** argv)
{
    Options o;
    // --fast: the fast refresh on, and the target its 0.7 s unless one is given.
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--fast") == 0) {
            o.fast = true;
            o.target = 0.7;
            std::copy(argv + i + 1, argv + argc, argv + i);
            --argc;
            break;
        }
    for (int i = 1; i + 1 < argc; i += 2) {
        char* end = nullptr;
        const double x = std::strtod(argv[i + 1], &end);
        if (end == argv[i + 1] || *end != '\0' || !(x > 0))
            return std::nullopt;
        if (std::strcmp(argv[i], "--rounds") == 0)
            o.rounds = int(x);
        else if (std::strcmp(argv[i], "--target") == 0)
            o.target = x;
        else
            return std::nullopt;
    }
    if (argc % 2 == 0 || o.rounds < 1)
        return std::nullopt;
    return o;
}

void pause(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

bool waitFor(const std::function<bool()>& done, double seconds)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (double(t.elapsed()) / 1000 > seconds)
            return false;
        pause(1);
    }
    return true;
}

} // namespace

int main(int argc, char* argv[])
{
    const std::optional<Options> opt = parse(argc, argv);
    if (!opt) {
        std::fprintf(stderr, "usage: bench_write_verify [--rounds N] [--target S] [--fast]\n");
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QStandardPaths::setTestModeEnabled(true);

    TForm1 form(TForm1::Options{true});
    form.prompts().showError = [](const QString& t) { std::printf("error shown: %s\n", qPrintable(t)); };
    form.model().setReviewer({});
    form.model().setHistory(nullptr);
    form.show();
    form.findChild<QCheckBox*>(QStringLiteral("FastRefresh"))->setChecked(opt->fast);
    form.openPortByName(QStringLiteral("DEMO"));
    form.evaluatePassword(52806);
    form.activatePage(QStringLiteral("TabSheet_Config"));
    const auto idle = [&form] {
        for (int k : {Read_RAM2, Read_RAM3, Write_RAM2, Write_RAM3})
            if (form.engine().flag(k))
                return false;
        return form.model().configWritable() && !form.model().writeOwed(MemoryRecord::Ram2) &&
               !form.model().writeOwed(MemoryRecord::Ram3);
    };
    if (!waitFor(idle, 30)) {
        std::printf("FAIL: the configuration records were not read within 30 s\n");
        return 1;
    }
    auto* ratio = form.findChild<NumericSpin*>(QStringLiteral("L1uat"));
    auto* write = form.findChild<QPushButton*>(QStringLiteral("Button1"));
    if (!ratio || !write) {
        std::printf("FAIL: no ratio edit or write button\n");
        return 1;
    }

    std::vector<JournalEntry> ended;
    QObject::connect(&form.model(), &DeviceModel::writeFinished, &form,
                     [&ended](const JournalEntry& e) { ended.push_back(e); });
    std::vector<double> seconds;
    bool failed = false;
    for (int round = 0; round < opt->rounds; ++round) {
        // Presses fall at different points of the 200 ms polling cycle.
        pause(300 + (round * 37) % 200);
        ratio->setValue(1.0 + 0.5 * (round % 2));
        ended.clear();
        QElapsedTimer t;
        t.start();
        write->click();
        const bool both = waitFor([&] { return ended.size() >= 2; }, 10);
        const double s = double(t.nsecsElapsed()) / 1e9;
        bool verified = both;
        for (const JournalEntry& e : ended)
            verified = verified && e.outcome == WriteOutcome::Verified;
        std::printf("round %2d: %.3f s%s\n", round + 1, s,
                    !both      ? " (did NOT end within 10 s)"
                    : verified ? ""
                               : " (NOT verified)");
        std::fflush(stdout);
        if (!verified) {
            failed = true;
            continue;
        }
        seconds.push_back(s);
        waitFor(idle, 10);
    }
    if (seconds.empty()) {
        std::printf("FAIL: no write was verified\n");
        return 1;
    }
    std::sort(seconds.begin(), seconds.end());
    const std::size_t n = seconds.size();
    const double median = n % 2 ? seconds[n / 2] : (seconds[n / 2 - 1] + seconds[n / 2]) / 2;
    std::printf("write of both configuration records until both verified, %zu rounds: least %.3f s, median "
                "%.3f s, most %.3f s (target at most %.1f s: %s)\n",
                n, seconds.front(), median, seconds.back(), opt->target,
                seconds.back() <= opt->target ? "met" : "MISSED");
    return failed || seconds.back() > opt->target ? 1 : 0;
}
