// How long the review of a write takes to open in the real window: the rows built from the editors
// and the dialog shown, for another meter's settings section written to the in-process meter (every
// field that differs between the two, and the foreign warning). With --screenshot FILE it saves a
// picture of the dialog over the window (the first opening) and quits; KVAM_BENCH_ROWS=1 prints the
// rows.
//
//   bench_review [ROUNDS] [--screenshot FILE]

#include "app/TForm1.h"
#include "config/ReviewForm.h"
#include "platform/NumericSpin.h"
#include "records/Records.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPainter>
#include <QPixmap>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

using namespace kvam;
using Clock = std::chrono::steady_clock;

namespace {

bool waitFor(const std::function<bool()>& done, int ms)
{
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

} // namespace

int main(int argc, char* argv[])
{
    QString screenshot;
    int rounds = 30;
    for (int i = 1; i < argc; ++i) {
        if (qstrcmp(argv[i], "--screenshot") == 0 && i + 1 < argc)
            screenshot = QString::fromLocal8Bit(argv[++i]);
        else
            rounds = std::max(1, atoi(argv[i]));
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    TForm1::Options options;
    options.demoPacing = false;
    options.review = true;
    TForm1 form(options);
    form.move(0, 0);
    form.show();
    form.evaluatePassword(52806);
    form.activatePage(QStringLiteral("TabSheet1"));
    form.openPortByName(QStringLiteral("DEMO"));
    LinkEngine& e = form.engine();
    if (!waitFor(
            [&] {
                return form.model().configWritable() && form.model().lineMeter() && !e.flag(Read_RAM2) &&
                       !e.flag(Read_RAM3);
            },
            10000)) {
        std::fprintf(stderr, "the demo meter's records did not arrive\n");
        return 1;
    }

    // Another meter's settings (as it left the factory), as a section of the settings file brings
    // them, and a few edits.
    Ram2Image ram2 = VirtualMeter::factoryRam2();
    set(ram2, ram2::RecordHead, 0, get(form.memory().ram2, ram2::RecordHead, 0));
    set(ram2, ram2::RecordHead, 1, get(form.memory().ram2, ram2::RecordHead, 1));
    set(ram2, ram2::MB01Addr, std::uint8_t(33));
    set(ram2, ram2::LedErrorMask, std::uint32_t(0x3003));
    Ram3Image ram3 = VirtualMeter::factoryRam3(21009999, 22, 3);
    set(ram3, ram3::Calrms, 1, 4.5f);
    form.model().loadSettings(ram2, ram3);
    form.findChild<NumericSpin*>(QStringLiteral("L1Iat"))->setValue(60);

    std::vector<double> ms;
    std::size_t rows = 0;
    Clock::time_point opened;
    const auto review = form.prompts().reviewWrite;
    form.prompts().reviewWrite = [&](const WriteProposal& p) {
        opened = Clock::now();
        return review(p);
    };
    form.prompts().runDialog = [&](QDialog& d) {
        d.show();
        QCoreApplication::processEvents();
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - opened).count());
        rows = static_cast<ReviewForm&>(d).rows().size();
        if (getenv("KVAM_BENCH_ROWS"))
            for (const ReviewRow& r : static_cast<ReviewForm&>(d).rows())
                std::printf("%s | %s | %s | %s | %s\n", qPrintable(r.caption), qPrintable(r.name),
                            qPrintable(r.meter), qPrintable(r.proposed), qPrintable(r.unit));
        if (!screenshot.isEmpty()) {
            // The window with the dialog drawn where it stands, framed (no window manager draws
            // its frame here).
            QPixmap shot = form.grab();
            QPainter painter(&shot);
            const QRect at(d.geometry().topLeft() - form.geometry().topLeft(), d.size());
            painter.drawPixmap(at.topLeft(), d.grab());
            painter.setPen(QColor(70, 70, 70));
            painter.drawRect(at.adjusted(-1, -1, 0, 0));
            painter.end();
            if (!shot.save(screenshot))
                std::fprintf(stderr, "cannot save %s\n", qPrintable(screenshot));
        }
        return false;
    };
    for (int i = 0; i < (screenshot.isEmpty() ? rounds : 1); ++i)
        form.model().WriteRamClick();
    if (ms.empty()) {
        std::fprintf(stderr, "no review was shown\n");
        return 1;
    }
    const double first = ms.front();
    std::sort(ms.begin(), ms.end());
    const double median = ms[ms.size() / 2];
    std::printf("review of %zu changed elements opened: first %.1f ms, median %.1f ms, slowest %.1f ms "
                "(%zu rounds)\n",
                rows, first, median, ms.back(), ms.size());
    return median < 50.0 ? 0 : 1;
}
