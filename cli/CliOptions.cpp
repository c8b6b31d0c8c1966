#include "cli/CliOptions.h"

#include "link/PortNames.h"
#include "platform/NetworkPort.h"
#include "records/RecordDiff.h"
#include "records/RecordLayout.h"

#include <QCommandLineParser>
#include <QFile>
#include <QRegularExpression>

#include <algorithm>
#include <array>
#include <iterator>
#include <vector>

namespace kvam::cli {

namespace {

/// Every option of every command; a command lists the ones it takes.
enum class Opt
{
    Port,
    Ports,
    Output,
    Format,
    Section,
    Keep,
    IncludeFactory,
    DryRun,
    Yes,
    List,
    At,
    Count,
    Seconds,
    Json,
    History,
    Verbose,
    Timeout,
    Retry,
};

struct OptionRow
{
    Opt key;
    const char* name; ///< the long name
    const char* shortName;
    const char* valueName; ///< null: a switch
    const char* description;
};

// In the order of Opt.
constexpr OptionRow kOptions[] = {
    {Opt::Port, "port", "p", "PORT",
     "The meter's port: a serial port, DEMO (the built-in virtual meter), tcp://HOST:PORT (raw TCP) "
     "or rfc2217://HOST:PORT (Telnet, RFC 2217); may be given many times."},
    {Opt::Ports, "ports", nullptr, "FILE",
     "A file naming one port a line (blank lines and lines starting with # skipped)."},
    {Opt::Output, "output", "o", "FILE", "The file to write."},
    {Opt::Format, "format", nullptr, "FORMAT", "The output's format (see above)."},
    {Opt::Section, "section", nullptr, "N",
     "The settings section to use (default: the meter's factory number)."},
    {Opt::Keep, "keep", nullptr, "FIELDS",
     "Comma-separated record-table fields (MB01Addr, Ratio[1]) kept as the meter holds them."},
    {Opt::IncludeFactory, "include-factory", nullptr, nullptr,
     "Also write another meter's factory data and calibration (RAM3)."},
    {Opt::DryRun, "dry-run", nullptr, nullptr, "Show the review and write nothing."},
    {Opt::Yes, "yes", nullptr, nullptr, "Write without asking."},
    {Opt::List, "list", nullptr, nullptr, "List the meter's backups (the default)."},
    {Opt::At, "at", nullptr, "TIME", "Write the backup taken at TIME (its stamp, or its time as listed)."},
    {Opt::Count, "count", nullptr, "N", "Stop after N lines per meter."},
    {Opt::Seconds, "seconds", nullptr, "N", "Stop after N seconds."},
    {Opt::Json, "json", nullptr, nullptr, "One JSON object per meter and line."},
    {Opt::History, "history", nullptr, "DIR",
     "Where backups and write journals are kept (default: the window's folder)."},
    {Opt::Verbose, "verbose", "v", nullptr,
     "Show every request and answer on the line, and each write's progress, on standard error."},
    {Opt::Timeout, "timeout", nullptr, "MS",
     "Answer time-out in milliseconds (default 300, on a network port 300 plus the round trip)."},
    {Opt::Retry, "retry", nullptr, "SECONDS",
     "How long a lost network connection is tried again before the meter is given up (default 5)."},
};
constexpr std::size_t kOptionCount = std::size(kOptions);

constexpr bool inEnumOrder()
{
    for (std::size_t i = 0; i < kOptionCount; ++i)
        if (std::size_t(kOptions[i].key) != i)
            return false;
    return true;
}
static_assert(inEnumOrder(), "kOptions must be in the order of Opt");

const OptionRow& optionRow(Opt key)
{
    return kOptions[std::size_t(key)];
}

/// A value as the command line names it.
template <typename E> struct Named
{
    E value;
    const char* name;
};

const Named<Format> kFormatNames[] = {
    {Format::Text, "text"}, {Format::Json, "json"}, {Format::Ini, "ini"},
    {Format::User, "user"}, {Format::Csv, "csv"},   {Format::WindowLog, "txt"},
};

const Named<Service> kServiceNames[] = {
    {Service::ClearErrors, "clear-errors"},
    {Service::UserDefaults, "user-defaults"},
    {Service::FactoryDefaults, "factory-defaults"},
    {Service::ClearEnergy, "clear-energy"},
};

template <typename E, std::size_t N> std::optional<E> named(const Named<E> (&table)[N], const QString& name)
{
    for (const Named<E>& n : table)
        if (name == QLatin1String(n.name))
            return n.value;
    return std::nullopt;
}

template <typename E, std::size_t N> QString nameOf(const Named<E> (&table)[N], E value)
{
    for (const Named<E>& n : table)
        if (n.value == value)
            return QLatin1String(n.name);
    return QString();
}

struct CommandRow
{
    Command command;
    const char* name;
    const char* synopsis;
    const char* does;
    std::vector<Opt> options;
    std::vector<Format> formats = {}; ///< what --format chooses from, the default first
    bool needsPort = true;
};

const std::vector<CommandRow>& commands()
{
    static const std::vector<CommandRow> kCommands = {
        {Command::Ports,
         "ports",
         "ports [--json]",
         "Lists the serial ports with their description and USB serial number.",
         {Opt::Json},
         {},
         false},
        {Command::Info,
         "info",
         "info -p PORT [--json]",
         "Shows the firmware version and date, the factory number, the production year and month, the fitted "
         "modules, the errors the meter reports and its inputs and outputs.",
         {Opt::Port, Opt::Ports, Opt::Json}},
        {Command::Read,
         "read",
         "read -p PORT [-o FILE] [--format ini|json|user]",
         "Reads RAM2 and RAM3: as a settings section named by the factory number (added to FILE or replacing "
         "that section, the rest of FILE kept), as JSON of every field by its record-table name, or as the "
         "raw "
         "RAM2 record of a .user file.",
         {Opt::Port, Opt::Ports, Opt::Output, Opt::Format},
         {Format::Ini, Format::Json, Format::User}},
        {Command::Diff,
         "diff",
         "diff -p PORT FILE [--section N] [--json]",
         "Lists the fields that differ between the meter and a settings section: name, meter value, file "
         "value. "
         "Exit status 1 when any differ.",
         {Opt::Port, Opt::Ports, Opt::Section, Opt::Json}},
        {Command::Write,
         "write",
         "write -p PORT FILE [--section N] [--keep FIELDS] [--include-factory] [--dry-run] [--yes] [--json]",
         "Writes a settings section into the meter: shows what changes, asks on a terminal (without --yes it "
         "refuses when not on one), backs the meter's records up, writes, reads back and verifies.",
         {Opt::Port, Opt::Ports, Opt::Section, Opt::Keep, Opt::IncludeFactory, Opt::DryRun, Opt::Yes,
          Opt::Json, Opt::History}},
        {Command::Restore,
         "restore",
         "restore -p PORT [--list | --at TIME] [--include-factory] [--yes] [--json]",
         "Lists the meter's backups, or writes the one taken at TIME, reviewed and verified as a write.",
         {Opt::Port, Opt::Ports, Opt::List, Opt::At, Opt::IncludeFactory, Opt::DryRun, Opt::Yes, Opt::Json,
          Opt::History}},
        {Command::Watch,
         "watch",
         "watch -p PORT [--count N] [--format text|csv|json]",
         "Prints one line of measurements per refresh until interrupted or N lines.",
         {Opt::Port, Opt::Ports, Opt::Count, Opt::Format},
         {Format::Text, Format::Csv, Format::Json}},
        {Command::Log,
         "log",
         "log -p PORT -o FILE [--seconds N] [--format txt|csv]",
         "Logs the measurements: in the window's format (Windows-1250, CR LF, one line a second) or as CSV "
         "(UTF-8, ISO 8601 time stamps with milliseconds, a header with units, one line per refresh). With "
         "several ports each meter gets FILE with its factory number before the extension.",
         {Opt::Port, Opt::Ports, Opt::Output, Opt::Seconds, Opt::Format},
         {Format::WindowLog, Format::Csv}},
        {Command::Service,
         "service",
         "service -p PORT clear-errors|user-defaults|factory-defaults|clear-energy --yes",
         "Sends a service command and shows what the meter reports afterwards.",
         {Opt::Port, Opt::Ports, Opt::Yes, Opt::Json, Opt::History}},
    };
    return kCommands;
}

/// The options a command takes: its own, and with a meter --verbose and --history.
std::vector<Opt> optionsOf(const CommandRow& c)
{
    std::vector<Opt> options = c.options;
    if (c.needsPort) {
        options.push_back(Opt::Verbose);
        options.push_back(Opt::Timeout);
        options.push_back(Opt::Retry);
        if (std::find(options.begin(), options.end(), Opt::History) == options.end())
            options.push_back(Opt::History);
    }
    return options;
}

const char* const kStatusText = "Exit status:\n"
                                "  0  success\n"
                                "  1  differences found, or a write not verified\n"
                                "  2  usage error\n"
                                "  3  a port cannot be opened, or the meter does not answer\n"
                                "  4  the meter's firmware is refused\n"
                                "  5  a file cannot be read or written\n"
                                "With several meters, the highest status of them.\n";

QString commandHelp(const CommandRow& c)
{
    QString text = QStringLiteral("Usage: kvam2100-cli %1\n\n%2\n\nOptions:\n")
                       .arg(QLatin1String(c.synopsis), QString::fromUtf8(c.does));
    for (Opt key : optionsOf(c)) {
        const OptionRow& o = optionRow(key);
        QString names =
            o.shortName ? QStringLiteral("-%1, --%2").arg(QLatin1String(o.shortName), QLatin1String(o.name))
                        : QStringLiteral("    --%1").arg(QLatin1String(o.name));
        if (o.valueName)
            names += QLatin1Char(' ') + QLatin1String(o.valueName);
        text += QStringLiteral("  %1  %2\n").arg(names.leftJustified(22), QString::fromUtf8(o.description));
    }
    text += QStringLiteral("  -h, --help                Show this help.\n\n") + QLatin1String(kStatusText);
    return text;
}

QString generalHelp()
{
    QString text =
        QStringLiteral("Usage: kvam2100-cli COMMAND [-p PORT]... [OPTIONS]\n"
                       "       kvam2100-cli COMMAND --help\n\n"
                       "Reads, compares, writes, verifies, watches and logs KVAM2100 meters on serial "
                       "lines (19200 baud), one or many at once.\n\nCommands:\n");
    for (const CommandRow& c : commands())
        text += QStringLiteral("  %1\n").arg(QLatin1String(c.synopsis));
    text += QStringLiteral("\n") + QLatin1String(kStatusText);
    return text;
}

ParseResult usage(const QString& text)
{
    ParseResult r;
    r.text = text;
    r.status = Status::Usage;
    return r;
}

ParseResult fileError(const QString& text)
{
    ParseResult r;
    r.text = text;
    r.status = Status::File;
    return r;
}

} // namespace

QString serviceName(Service service)
{
    return nameOf(kServiceNames, service);
}

bool keepableField(const QString& name)
{
    static const QRegularExpression kElement(QStringLiteral("^([A-Za-z_][A-Za-z0-9_]*)(?:\\[(\\d+)\\])?$"));
    const QRegularExpressionMatch m = kElement.match(name);
    if (!m.hasMatch())
        return false;
    const QByteArray field = m.captured(1).toLatin1();
    for (MemoryRecord r : {MemoryRecord::Ram2, MemoryRecord::Ram3}) {
        const FieldInfo* f = memoryRecordLayout(r).field(field.constData());
        if (!f)
            continue;
        if (m.captured(2).isEmpty())
            return true;
        bool ok = false;
        const qulonglong index = m.captured(2).toULongLong(&ok);
        return ok && index < f->count;
    }
    return false;
}

ParseResult parseArguments(const QStringList& arguments)
{
    const QStringList args = arguments.mid(1);
    if (args.isEmpty())
        return usage(QStringLiteral("no command given"));
    const QString first = args.first();
    if (first == QLatin1String("-h") || first == QLatin1String("--help") || first == QLatin1String("help")) {
        ParseResult r;
        r.text = generalHelp();
        return r;
    }
    if (first == QLatin1String("--version")) {
        ParseResult r;
        r.text = QStringLiteral("kvam2100-cli %1\n").arg(QLatin1String(KVAM_VERSION));
        return r;
    }
    const CommandRow* chosen = nullptr;
    for (const CommandRow& c : commands())
        if (first == QLatin1String(c.name))
            chosen = &c;
    if (!chosen)
        return usage(QStringLiteral("unknown command \"%1\"").arg(first));

    // Only the options the command takes are known to the parser; any other is an error.
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addOption(QCommandLineOption(QStringList{QStringLiteral("h"), QStringLiteral("help")}));
    std::array<std::optional<QCommandLineOption>, kOptionCount> taken;
    for (Opt key : optionsOf(*chosen)) {
        const OptionRow& o = optionRow(key);
        QStringList names{QLatin1String(o.name)};
        if (o.shortName)
            names.prepend(QLatin1String(o.shortName));
        taken[std::size_t(key)] = o.valueName
                                      ? QCommandLineOption(names, QString(), QLatin1String(o.valueName))
                                      : QCommandLineOption(names);
        parser.addOption(*taken[std::size_t(key)]);
    }
    if (!parser.parse(QStringList{QStringLiteral("kvam2100-cli")} + args.mid(1)))
        return usage(QStringLiteral("%1: %2").arg(first, parser.errorText()));
    if (parser.isSet(QStringLiteral("help"))) {
        ParseResult r;
        r.text = commandHelp(*chosen);
        return r;
    }

    Options o;
    o.command = chosen->command;
    auto has = [&](Opt key) {
        const std::optional<QCommandLineOption>& option = taken[std::size_t(key)];
        return option && parser.isSet(*option);
    };
    auto value = [&](Opt key) { return has(key) ? parser.value(*taken[std::size_t(key)]) : QString(); };
    if (has(Opt::Port))
        o.ports = parser.values(*taken[std::size_t(Opt::Port)]);
    if (has(Opt::Ports)) {
        const QString path = value(Opt::Ports);
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
            return fileError(QStringLiteral("%1: %2").arg(path, file.errorString()));
        while (!file.atEnd()) {
            const QString line = QString::fromUtf8(file.readLine()).trimmed();
            if (!line.isEmpty() && !line.startsWith(QLatin1Char('#')))
                o.ports << line;
        }
        if (file.error() != QFileDevice::NoError)
            return fileError(QStringLiteral("%1: %2").arg(path, file.errorString()));
    }
    o.ports.removeDuplicates();
    if (chosen->needsPort && o.ports.isEmpty())
        return usage(QStringLiteral("%1: no port given (-p PORT or --ports FILE)").arg(first));
    for (const QString& port : o.ports) {
        QString error;
        if (isNetworkPortName(port) && !parseNetworkAddress(port, &error))
            return usage(error);
    }
    if (has(Opt::Timeout)) {
        o.timeoutMs = parseAnswerTimeout(value(Opt::Timeout));
        if (!o.timeoutMs)
            return usage(QLatin1String(kAnswerTimeoutNeed));
    }
    if (has(Opt::Retry)) {
        bool ok = false;
        o.retrySeconds = value(Opt::Retry).toDouble(&ok);
        if (!ok || !(o.retrySeconds >= 0) || o.retrySeconds > 3600)
            return usage(QStringLiteral("--retry: \"%1\" is not a number of seconds from 0 to 3600")
                             .arg(value(Opt::Retry)));
    }

    o.output = value(Opt::Output);
    if (has(Opt::Section))
        o.section = value(Opt::Section);
    o.includeFactory = has(Opt::IncludeFactory);
    o.dryRun = has(Opt::DryRun);
    o.yes = has(Opt::Yes);
    o.format = has(Opt::Json) ? Format::Json : Format::Text;
    o.verbose = has(Opt::Verbose);
    o.list = has(Opt::List);
    o.at = value(Opt::At);
    o.history = value(Opt::History);
    for (const QString& k : value(Opt::Keep).split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        if (!keepableField(k.trimmed()))
            return usage(QStringLiteral("--keep: \"%1\" is no field of RAM2 or RAM3").arg(k.trimmed()));
        o.keep << k.trimmed();
    }
    if (has(Opt::Count)) {
        bool ok = false;
        o.count = value(Opt::Count).toInt(&ok);
        if (!ok || o.count < 1)
            return usage(QStringLiteral("--count: \"%1\" is not a positive number").arg(value(Opt::Count)));
    }
    if (has(Opt::Seconds)) {
        bool ok = false;
        o.seconds = value(Opt::Seconds).toDouble(&ok);
        if (!ok || !(o.seconds > 0))
            return usage(
                QStringLiteral("--seconds: \"%1\" is not a positive number").arg(value(Opt::Seconds)));
    }

    const QStringList positional = parser.positionalArguments();
    // --format: one of the command's formats by name, its first when not given (or given empty).
    auto chooseFormat = [&]() -> std::optional<ParseResult> {
        const std::vector<Format>& allowed = chosen->formats;
        const QString name = value(Opt::Format);
        const std::optional<Format> f = name.isEmpty() ? allowed.front() : named(kFormatNames, name);
        if (!f || std::find(allowed.begin(), allowed.end(), *f) == allowed.end()) {
            QStringList names;
            for (Format a : allowed)
                names << nameOf(kFormatNames, a);
            return usage(
                QStringLiteral("%1: --format must be one of %2").arg(first, names.join(QLatin1Char('|'))));
        }
        o.format = *f;
        return std::nullopt;
    };
    std::optional<ParseResult> bad;
    int wanted = 0;
    switch (o.command) {
    case Command::Read:
        bad = chooseFormat();
        if (!bad && o.format == Format::User && o.output.isEmpty() && o.ports.size() > 1)
            bad = usage(QStringLiteral("read: --format user of several meters needs -o FILE"));
        break;
    case Command::Diff:
    case Command::Write:
        wanted = 1;
        if (!positional.isEmpty())
            o.file = positional.first();
        if (o.dryRun && o.yes)
            bad = usage(QStringLiteral("%1: --dry-run and --yes contradict each other").arg(first));
        break;
    case Command::Restore:
        if (o.list && !o.at.isEmpty())
            bad = usage(QStringLiteral("restore: --list and --at contradict each other"));
        o.list = o.at.isEmpty();
        break;
    case Command::Watch:
        bad = chooseFormat();
        break;
    case Command::Log:
        bad = chooseFormat();
        if (!bad && o.output.isEmpty())
            bad = usage(QStringLiteral("log: no file given (-o FILE)"));
        break;
    case Command::Service: {
        wanted = 1;
        if (positional.isEmpty())
            break;
        const QString name = positional.first();
        if (const std::optional<Service> service = named(kServiceNames, name))
            o.service = *service;
        QStringList known;
        for (const Named<Service>& n : kServiceNames)
            known << QLatin1String(n.name);
        if (o.service == Service::None)
            bad = usage(QStringLiteral("service: unknown service \"%1\" (%2)")
                            .arg(name, known.join(QLatin1Char('|'))));
        else if (!o.yes)
            bad = usage(QStringLiteral("service: %1 changes the meter: add --yes").arg(name));
        break;
    }
    case Command::Ports:
    case Command::Info:
        break;
    }
    if (bad)
        return *bad;
    if (positional.size() != wanted)
        return usage(positional.size() < wanted
                         ? QStringLiteral("%1: %2 missing")
                               .arg(first, o.command == Command::Service
                                               ? QStringLiteral("the service")
                                               : QStringLiteral("the settings file"))
                         : QStringLiteral("%1: unexpected \"%2\"").arg(first, positional.value(wanted)));
    ParseResult r;
    r.options = o;
    return r;
}

} // namespace kvam::cli
