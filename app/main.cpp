#include "app/CommandLine.h"
#include "app/ReportAction.h"
#include "app/ScriptedStart.h"
#include "app/TForm1.h"

#include <QApplication>
#include <QCheckBox>
#include <QTimer>

#include <cstdio>

namespace {

/// How long a scripted report waits for the meter's records.
constexpr int kReportRecordsMs = 10000;

} // namespace

int main(int argc, char* argv[])
{
    // Options are read before the GUI starts, so --help and mistakes work without a display.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const kvam::CommandLineResult cl = kvam::parseCommandLine(arguments);
    if (!cl.options) {
        std::fprintf(stderr, "kvam2100: %s\nTry 'kvam2100 --help'.\n", qPrintable(cl.error));
        return 2;
    }
    const kvam::CommandLineOptions& options = *cl.options;
    if (options.help) {
        std::fputs(qPrintable(kvam::commandLineHelp()), stdout);
        return 0;
    }
    if (!options.report.isEmpty() && options.port.isEmpty()) {
        std::fprintf(stderr, "kvam2100: no report: no meter to read, give --port NAME or --demo\n");
        return kvam::kScriptNoMeter;
    }

    QApplication app(argc, argv);
    // The task-bar text; the window caption is the main window's own.
    QApplication::setApplicationName(QStringLiteral("KVAM2300 33"));

    kvam::TForm1::Options formOptions;
    formOptions.review = !options.noReview;
    kvam::TForm1 form(formOptions);
    // A start that a script runs never waits for a click.
    if (!options.screenshot.isEmpty() || !options.report.isEmpty())
        kvam::answerOnStandardError(form.prompts());
    if (options.english)
        form.switchToEnglish();
    if (options.password)
        form.evaluatePassword(*options.password);
    if (options.fast)
        form.findChild<QCheckBox*>(QStringLiteral("FastRefresh"))->setChecked(true);

    // A report reads what the measurement page polls unless another page is asked for.
    const QString page =
        options.page.isEmpty() && !options.report.isEmpty() ? QStringLiteral("TabSheet_Meres") : options.page;
    if (!page.isEmpty() && !form.activatePage(page)) {
        std::fprintf(stderr, "kvam2100: no visible page named %s\n", qPrintable(page));
        return 2;
    }
    if (options.timeoutMs)
        form.link().setAnswerTimeoutOverride(options.timeoutMs);
    form.show();
    const bool scripted = !options.screenshot.isEmpty() || !options.report.isEmpty();
    // A network port that cannot connect says so later; a script's start then ends at once.
    if (scripted)
        QObject::connect(&form.link(), &kvam::LinkDriver::portFailed, &app,
                         [] { QCoreApplication::exit(kvam::kScriptNoMeter); });
    if (!options.port.isEmpty())
        form.openPortByName(options.port);
    // The port asked for could not be opened: its message has gone to standard error.
    const bool portFailed = !options.port.isEmpty() && form.link().portStatus() == kvam::PortStatus::Closed;
    if (!options.screenshot.isEmpty()) {
        const QString file = options.screenshot;
        QTimer::singleShot(3000, &form, [&form, file, portFailed] {
            const bool saved = form.grab().save(file);
            if (!saved)
                std::fprintf(stderr, "kvam2100: cannot save the screenshot to %s\n", qPrintable(file));
            QCoreApplication::exit(!saved       ? kvam::kScriptFile
                                   : portFailed ? kvam::kScriptNoMeter
                                                : kvam::kScriptOk);
        });
    }
    if (!options.report.isEmpty()) {
        if (portFailed)
            return kvam::kScriptNoMeter;
        form.report().runScripted(options.report, kReportRecordsMs);
    }
    return app.exec();
}
