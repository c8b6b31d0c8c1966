#include "app/CommandLine.h"
#include "app/TForm1.h"

#include <QApplication>
#include <QCheckBox>
#include <QTimer>

#include <cstdio>

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

    QApplication app(argc, argv);
    // The task-bar text; the window caption is the main window's own.
    QApplication::setApplicationName(QStringLiteral("KVAM2300 33"));

    kvam::TForm1::Options formOptions;
    formOptions.review = !options.noReview;
    kvam::TForm1 form(formOptions);
    if (options.english)
        form.switchToEnglish();
    if (options.password)
        form.evaluatePassword(*options.password);
    if (options.fast)
        form.findChild<QCheckBox*>(QStringLiteral("FastRefresh"))->setChecked(true);

    if (!options.page.isEmpty() && !form.activatePage(options.page)) {
        std::fprintf(stderr, "kvam2100: no visible page named %s\n", qPrintable(options.page));
        return 2;
    }
    form.show();
    if (!options.screenshot.isEmpty()) {
        const QString file = options.screenshot;
        QTimer::singleShot(3000, &form, [&form, file] {
            const bool saved = form.grab().save(file);
            if (!saved)
                std::fprintf(stderr, "kvam2100: cannot save the screenshot to %s\n", qPrintable(file));
            QCoreApplication::exit(saved ? 0 : 1);
        });
    }
    if (!options.port.isEmpty())
        form.openPortByName(options.port);
    return app.exec();
}
