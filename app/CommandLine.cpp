#include "app/CommandLine.h"

#include "link/PortNames.h"

#include <QCommandLineParser>

#include <cstring>
#include <utility>

namespace kvam {

QString commandLineHelp()
{
    return QStringLiteral(
        "Usage: kvam2100 [options]\n"
        "Service tool for the KVAM2100 power-quality meter.\n"
        "\n"
        "Options:\n"
        "  --port NAME        open the port NAME at start: a serial port (ttyUSB0, /dev/pts/3),\n"
        "                     DEMO, or a meter behind a serial device server: tcp://HOST:PORT\n"
        "                     (raw TCP) or rfc2217://HOST:PORT (Telnet, RFC 2217)\n"
        "  --timeout MS       answer time-out in milliseconds (default 300 on a serial line, 300\n"
        "                     plus the measured round trip on a network port)\n"
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

namespace {

// The options that take a value, with the words for a value missing.
struct ValueOption
{
    const char* name;
    const char* need;
};
constexpr ValueOption kPortOption{"port", "--port needs a port name"};
constexpr ValueOption kPageOption{"page", "--page needs a page name"};
constexpr ValueOption kPasswordOption{"password", "--password needs a whole number"};
constexpr ValueOption kScreenshotOption{"screenshot", "--screenshot needs a file name"};
constexpr ValueOption kReportOption{"report", "--report needs a file name"};
constexpr ValueOption kTimeoutOption{"timeout", kAnswerTimeoutNeed};
constexpr ValueOption kValueOptions[] = {kPortOption,       kPageOption,   kPasswordOption,
                                         kScreenshotOption, kReportOption, kTimeoutOption};
constexpr const char* kSwitches[] = {"help", "english", "no-review", "fast", "demo"};

QString unknownOption(const QString& argument)
{
    return QStringLiteral("unknown option: %1").arg(argument);
}

// The words for an argument the parser refused: an unknown name, a value given to a switch
// ("--fast=1", named as written) or a value missing after the last argument.
QString refusal(const QCommandLineParser& parser, const QStringList& arguments)
{
    if (!parser.unknownOptionNames().isEmpty()) {
        const QString& name = parser.unknownOptionNames().constFirst();
        return unknownOption((name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name);
    }
    for (const QString& argument : arguments.mid(1)) {
        for (const char* name : kSwitches)
            if (argument.startsWith(QStringLiteral("--%1=").arg(QLatin1String(name))))
                return unknownOption(argument);
    }
    for (const ValueOption& option : kValueOptions)
        if (arguments.constLast() == QStringLiteral("--%1").arg(QLatin1String(option.name)))
            return QLatin1String(option.need);
    return parser.errorText();
}

} // namespace

CommandLineResult parseCommandLine(const QStringList& arguments)
{
    auto fail = [](const QString& text) { return CommandLineResult{std::nullopt, text}; };
    QCommandLineParser parser;
    parser.addOption(QCommandLineOption(QStringList{QStringLiteral("h"), QStringLiteral("help")}));
    for (const char* name : kSwitches)
        if (std::strcmp(name, "help") != 0)
            parser.addOption(QCommandLineOption(QLatin1String(name)));
    for (const ValueOption& option : kValueOptions)
        parser.addOption(QCommandLineOption(QLatin1String(option.name), QString(), QStringLiteral("value")));
    if (!parser.parse(arguments))
        return fail(refusal(parser, arguments));
    if (!parser.positionalArguments().isEmpty())
        return fail(unknownOption(parser.positionalArguments().constFirst()));

    // Each value must be there, and a password a number; of an option given twice the last counts.
    auto valueOf = [&](const ValueOption& option, QString& into) {
        const QStringList values = parser.values(QLatin1String(option.name));
        if (values.contains(QString()))
            return false;
        if (!values.isEmpty())
            into = values.constLast();
        return true;
    };
    CommandLineOptions o;
    for (const auto& [option, into] :
         {std::pair{kPortOption, &o.port}, std::pair{kPageOption, &o.page},
          std::pair{kScreenshotOption, &o.screenshot}, std::pair{kReportOption, &o.report}})
        if (!valueOf(option, *into))
            return fail(QLatin1String(option.need));
    for (const QString& text : parser.values(QLatin1String(kPasswordOption.name))) {
        bool ok = false;
        const int n = text.toInt(&ok);
        if (!ok)
            return fail(QLatin1String(kPasswordOption.need));
        o.password = n;
    }
    for (const QString& text : parser.values(QLatin1String(kTimeoutOption.name))) {
        o.timeoutMs = parseAnswerTimeout(text);
        if (!o.timeoutMs)
            return fail(QLatin1String(kTimeoutOption.need));
    }
    // --demo and --port name the same thing: the later one counts.
    const QStringList seen = parser.optionNames();
    if (seen.lastIndexOf(QStringLiteral("demo")) > seen.lastIndexOf(QLatin1String(kPortOption.name)))
        o.port = QLatin1String(kDemoPort);
    o.help = parser.isSet(QStringLiteral("help"));
    o.english = parser.isSet(QStringLiteral("english"));
    o.noReview = parser.isSet(QStringLiteral("no-review"));
    o.fast = parser.isSet(QStringLiteral("fast"));
    if (!o.screenshot.isEmpty() && !o.report.isEmpty())
        return fail(QStringLiteral("--screenshot and --report cannot be used together"));
    return CommandLineResult{o, QString()};
}

} // namespace kvam
