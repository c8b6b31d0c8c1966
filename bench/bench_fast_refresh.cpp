// The window's measurement page against the paced virtual meter on a pseudo-terminal
// (kvam-meter-sim, 19200 baud): measurement refreshes a second, time-outs and the window's own
// processor time, with the fast refresh on (the default here) or on the normal 200 ms schedule.
//
//   bench_fast_refresh [--seconds S] [--normal]
//
// Defaults: 300 s, fast refresh. Targets: fast, at least 3.5 refreshes a second, 0 time-outs and
// under 5 % of a core; normal, one refresh every 1.000 s (0.98 to 1.02 s on average). Exit code 1
// when a target is missed.

#include "app/TForm1.h"
#include "device/DeviceModel.h"
#include "link/LinkDriver.h"
#include "tests/MeterSim.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <sys/resource.h>

namespace {

double cpuSeconds()
{
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

} // namespace

int main(int argc, char* argv[])
{
    QStandardPaths::setTestModeEnabled(true);
    QApplication app(argc, argv);
    double seconds = 300;
    bool fast = true;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc)
            seconds = std::atof(argv[++i]);
        else if (std::strcmp(argv[i], "--normal") == 0)
            fast = false;
    }
    QProcess sim;
    const QString port = kvam::test::startMeter(sim, {QStringLiteral("--installed")});
    if (port.isEmpty()) {
        std::fprintf(stderr, "bench_fast_refresh: kvam-meter-sim did not start\n");
        return 1;
    }
    kvam::TForm1 form;
    form.show();
    form.activatePage(QStringLiteral("TabSheet_Meres"));
    form.findChild<QCheckBox*>(QStringLiteral("FastRefresh"))->setChecked(fast);
    form.openPortByName(port);

    int refreshes = 0;
    int timeouts = 0;
    QElapsedTimer clock;
    double startCpu = 0;
    bool measuring = false;
    // The first seconds (start-up reads, the page's first round) are not measured.
    QTimer::singleShot(3000, &form, [&] {
        measuring = true;
        clock.start();
        startCpu = cpuSeconds();
    });
    QObject::connect(&form.model(), &kvam::DeviceModel::netChanged, &form, [&] { refreshes += measuring; });
    for (auto* link : form.findChildren<kvam::LinkDriver*>())
        QObject::connect(link, &kvam::LinkDriver::monitorText, &form, [&](const QString& text) {
            timeouts += measuring && text == QLatin1String("Timeout");
        });
    QTimer::singleShot(int((seconds + 3) * 1000), &app, &QCoreApplication::quit);
    app.exec();

    const double wall = double(clock.elapsed()) / 1000;
    const double cpu = cpuSeconds() - startCpu;
    const double rate = refreshes / wall;
    const double share = 100 * cpu / wall;
    kvam::test::stopMeter(sim);
    bool met = timeouts == 0;
    if (fast) {
        met = met && rate >= 3.5 && share < 5;
        std::printf("fast refresh, %.0f s: %.3f refreshes a second (>= 3.5), %d time-outs (0), %.2f %% of a "
                    "core (< 5)\n",
                    wall, rate, timeouts, share);
    } else {
        const double period = refreshes ? wall / refreshes : 0;
        met = met && period >= 0.98 && period <= 1.02;
        std::printf("normal schedule, %.0f s: one refresh every %.3f s (1.000), %d time-outs (0), %.2f %% of "
                    "a core\n",
                    wall, period, timeouts, share);
    }
    return met ? 0 : 1;
}
