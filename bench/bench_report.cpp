// How long the commissioning report takes once the meter's records are held: the window against
// kvam-meter-sim on a pseudo-terminal (paced as a real line), on the measurement page. It waits until
// the report has every record, then builds and writes the report ROUNDS times as PDF and as HTML and
// prints each time, and the time the records took to arrive.
//
//   bench_report [ROUNDS]        (default 5; target: every report under 2 s)
//
// Exit code 1 when the records did not arrive within 20 s or a report was not written in time.

#include "app/ReportAction.h"
#include "app/TForm1.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <cstdlib>

using namespace kvam;

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 5;
    constexpr double kTarget = 2.0;

    QProcess sim;
    sim.start(QStringLiteral(KVAM_METER_SIM), {});
    if (!sim.waitForStarted(5000) || !sim.waitForReadyRead(5000)) {
        std::fprintf(stderr, "kvam-meter-sim did not start\n");
        return 1;
    }
    const QString pts = QString::fromLocal8Bit(sim.readLine()).trimmed();
    QTemporaryDir dir;
    TForm1::Options options;
    options.historyRoot = dir.filePath(QStringLiteral("history"));
    TForm1 form(options);
    form.activatePage(QStringLiteral("TabSheet_Meres"));
    QElapsedTimer clock;
    clock.start();
    form.openPortByName(pts);
    while (!form.report().missing().isEmpty() && clock.elapsed() < 20000) {
        form.report().askMissing();
        QTest::qWait(5);
    }
    if (!form.report().missing().isEmpty()) {
        std::fprintf(stderr, "records missing after 20 s: %s\n",
                     qPrintable(form.report().missing().join(QStringLiteral(", "))));
        return 1;
    }
    std::printf("records held after %.2f s on %s\n", clock.elapsed() / 1000.0, qPrintable(pts));

    bool ok = true;
    for (const char* suffix : {"pdf", "html"}) {
        for (int r = 0; r < rounds; ++r) {
            const QString file = dir.filePath(QStringLiteral("report.%1").arg(QLatin1String(suffix)));
            QElapsedTimer t;
            t.start();
            QString reason;
            const bool written = form.report().write(file, &reason);
            const double s = t.nsecsElapsed() / 1e9;
            std::printf("%-4s round %d: %.3f s, %lld bytes%s\n", suffix, r + 1, s, QFileInfo(file).size(),
                        written ? "" : qPrintable(QStringLiteral(" NOT WRITTEN: ") + reason));
            ok = ok && written && s < kTarget;
        }
    }
    sim.terminate();
    sim.waitForFinished(3000);
    std::printf("%s (target %.1f s)\n", ok ? "every report in time" : "FAILED", kTarget);
    return ok ? 0 : 1;
}
