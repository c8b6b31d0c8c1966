// Measures what one measurement answer costs the GUI thread: the 39 fields of the measurement page
// written plus a full redraw of the 550 x 550 phasor diagram, as the window does per answer.

#include "measure/ViewRecords.h"
#include "views/MeasurementPage.h"
#include "views/PhasorPage.h"

#include <QApplication>
#include <QCheckBox>

#include <chrono>
#include <cstdio>

using namespace kvam;
using Clock = std::chrono::steady_clock;

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    MeasurementPage meres;
    PhasorPage phasor;
    // The heaviest picture: voltages, currents and the supply star.
    for (QCheckBox* box : phasor.findChildren<QCheckBox*>())
        box->setChecked(true);

    NetRecord net;
    const float values[] = {400.1f, 399.7f, 401.2f, 231.0f, 229.5f, 232.2f, 3.9f, 3.1f, 4.6f};
    for (int i = 0; i < 9; ++i)
        net.set<float>(static_cast<std::size_t>(i) * 4, values[i]);
    net.set<float>(88, 25.0f);
    net.set<float>(92, 21.0f);
    net.set<float>(96, 33.0f);
    net.set<float>(132, 240.3f);
    net.set<float>(136, 119.6f);
    CaldataRecord cal;

    const int rounds = 500;
    double worst = 0;
    const auto start = Clock::now();
    for (int i = 0; i < rounds; ++i) {
        const auto t0 = Clock::now();
        net.set<float>(12, 231.0f + static_cast<float>(i % 7) * 0.1f);
        meres.showNet(net);
        phasor.redraw(makePhasorInput(net, cal, phasor.zoomU(), phasor.zoomI()));
        phasor.result(); // the page is not on screen: the drawing happens when it is asked for
        worst = std::max(worst, std::chrono::duration<double>(Clock::now() - t0).count());
    }
    const double mean = std::chrono::duration<double>(Clock::now() - start).count() / rounds;
    std::printf("measurement fields + phasor redraw (550 x 550): mean %.3f ms, worst %.3f ms (%d rounds)\n",
                mean * 1e3, worst * 1e3, rounds);
    return mean < 2e-3 ? 0 : 1;
}
