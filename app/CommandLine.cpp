#include "app/CommandLine.h"

#include "link/PortNames.h"

namespace kvam {

QString commandLineHelp()
{
    return QStringLiteral(
        "Usage: kvam2100 [options]\n"
        "Service tool for the KVAM2100 power-quality meter.\n"
        "\n"
        "Options:\n"
        "  --port NAME        open the serial port NAME at start (ttyUSB0, /dev/pts/3, DEMO ...)\n"
        "  --demo             the same as --port DEMO: the built-in virtual meter\n"
        "  --password N       enter N at start as in the password dialog (52806 opens the\n"
        "                     service pages)\n"
        "  --page NAME        open a page at start (TabSheet_Meres, TabSheet_Harmonics,\n"
        "                     TabSheet_Phasor, TabSheet_Errors, TabSheet_Comm, and with the\n"
        "                     password TabSheet_Config, TabSheet_FactorySettings,\n"
        "                     TabSheet_Calib; an inner page such as TabSheet2 opens its page)\n"
        "  --english          switch to the English texts at start (as a click on the flag)\n"
        "  --no-review        write without showing the changes for confirmation first\n"
        "  --fast             start with the fast refresh on: the next request goes out as soon\n"
        "                     as the last exchange has ended\n"
        "  --screenshot FILE  after three seconds save a picture of the window to FILE and quit\n"
        "  --report FILE      wait for the meter's records (at most 10 s), write the commissioning\n"
        "                     report to FILE (PDF or HTML by its extension) and quit\n"
        "  --help             show this text\n"
        "\n"
        "With --screenshot or --report no message waits for a click: messages go to standard\n"
        "error. Exit status: 0 done, 1 other failure, 2 usage error, 3 no port, the port cannot\n"
        "be opened or the meter's records did not arrive, 4 the meter's firmware is refused,\n"
        "5 the file cannot be written.\n");
}

CommandLineResult parseCommandLine(const QStringList& arguments)
{
    CommandLineOptions o;
    auto fail = [](const QString& text) { return CommandLineResult{std::nullopt, text}; };
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        QString arg = arguments[i];
        QString value;
        bool inlineValue = false;
        if (arg.startsWith(QLatin1String("--")) && arg.contains(QLatin1Char('='))) {
            value = arg.section(QLatin1Char('='), 1);
            arg = arg.section(QLatin1Char('='), 0, 0);
            inlineValue = true;
        }
        auto takeValue = [&](QString& into) -> bool {
            if (!inlineValue) {
                if (i + 1 >= arguments.size())
                    return false;
                value = arguments[++i];
            }
            if (value.isEmpty())
                return false;
            into = value;
            return true;
        };
        if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            o.help = true;
        } else if (arg == QLatin1String("--english") && !inlineValue) {
            o.english = true;
        } else if (arg == QLatin1String("--no-review") && !inlineValue) {
            o.noReview = true;
        } else if (arg == QLatin1String("--fast") && !inlineValue) {
            o.fast = true;
        } else if (arg == QLatin1String("--demo") && !inlineValue) {
            o.port = QLatin1String(kDemoPort);
        } else if (arg == QLatin1String("--port")) {
            if (!takeValue(o.port))
                return fail(QStringLiteral("--port needs a port name"));
        } else if (arg == QLatin1String("--page")) {
            if (!takeValue(o.page))
                return fail(QStringLiteral("--page needs a page name"));
        } else if (arg == QLatin1String("--password")) {
            QString text;
            bool ok = false;
            const int n = takeValue(text) ? text.toInt(&ok) : 0;
            if (!ok)
                return fail(QStringLiteral("--password needs a whole number"));
            o.password = n;
        } else if (arg == QLatin1String("--screenshot")) {
            if (!takeValue(o.screenshot))
                return fail(QStringLiteral("--screenshot needs a file name"));
        } else if (arg == QLatin1String("--report")) {
            if (!takeValue(o.report))
                return fail(QStringLiteral("--report needs a file name"));
        } else {
            return fail(QStringLiteral("unknown option: %1").arg(arguments[i]));
        }
    }
    if (!o.screenshot.isEmpty() && !o.report.isEmpty())
        return fail(QStringLiteral("--screenshot and --report cannot be used together"));
    return CommandLineResult{o, QString()};
}

} // namespace kvam
