#include "cli/CliOptions.h"

#include "records/RecordDiff.h"
#include "records/RecordLayout.h"

#include <QCommandLineParser>
#include <QFile>
#include <QRegularExpression>

#include <algorithm>
#include <string_view>
#include <vector>

namespace kvam::cli {

namespace {

struct OptionRow
{
    const char* key; ///< the long name
    const char* shortName;
    const char* valueName; ///< null: a switch
    const char* description;
};

// Every option of every command; a command lists the keys it takes.
const OptionRow kOptions[] = {
    {"port", "p", "PORT",
     "The meter's serial port (DEMO: the built-in virtual meter); may be given many times."},
    {"ports", nullptr, "FILE",
     "A file naming one port a line (blank lines and lines starting with # skipped)."},
    {"output", "o", "FILE", "The file to write."},
    {"format", nullptr, "FORMAT", "The output's format (see above)."},
    {"section", nullptr, "N", "The settings section to use (default: the meter's factory number)."},
    {"keep", nullptr, "FIELDS",
     "Comma-separated record-table fields (MB01Addr, Ratio[1]) kept as the meter holds them."},
    {"include-factory", nullptr, nullptr, "Also write another meter's factory data and calibration (RAM3)."},
    {"dry-run", nullptr, nullptr, "Show the review and write nothing."},
    {"yes", nullptr, nullptr, "Write without asking."},
    {"list", nullptr, nullptr, "List the meter's backups (the default)."},
    {"at", nullptr, "TIME", "Write the backup taken at TIME (its stamp, or its time as listed)."},
    {"count", nullptr, "N", "Stop after N lines per meter."},
    {"seconds", nullptr, "N", "Stop after N seconds."},
    {"json", nullptr, nullptr, "One JSON object per meter and line."},
    {"history", nullptr, "DIR", "Where backups and write journals are kept (default: the window's folder)."},
    {"verbose", "v", nullptr,
     "Show every request and answer on the line, and each write's progress, on standard error."},
};

struct CommandRow
{
    Command command;
    const char* name;
    const char* synopsis;
    const char* does;
    std::vector<const char*> options;
    bool needsPort = true;
};

const std::vector<CommandRow>& commands()
{
    static const std::vector<CommandRow> kCommands = {
        {Command::Ports,
         "ports",
         "ports [--json]",
         "Lists the serial ports with their description and USB serial number.",
         {"json"},
         false},
        {Command::Info,
         "info",
         "info -p PORT [--json]",
         "Shows the firmware version and date, the factory number, the production year and month, the fitted "
         "modules, the errors the meter reports and its inputs and outputs.",
         {"port", "ports", "json"}},
        {Command::Read,
         "read",
         "read -p PORT [-o FILE] [--format ini|json|user]",
         "Reads RAM2 and RAM3: as a settings section named by the factory number (added to FILE or replacing "
         "that section, the rest of FILE kept), as JSON of every field by its record-table name, or as the "
         "raw "
         "RAM2 record of a .user file.",
         {"port", "ports", "output", "format"}},
        {Command::Diff,
         "diff",
         "diff -p PORT FILE [--section N] [--json]",
         "Lists the fields that differ between the meter and a settings section: name, meter value, file "
         "value. "
         "Exit status 1 when any differ.",
         {"port", "ports", "section", "json"}},
        {Command::Write,
         "write",
         "write -p PORT FILE [--section N] [--keep FIELDS] [--include-factory] [--dry-run] [--yes] [--json]",
         "Writes a settings section into the meter: shows what changes, asks on a terminal (without --yes it "
         "refuses when not on one), backs the meter's records up, writes, reads back and verifies.",
         {"port", "ports", "section", "keep", "include-factory", "dry-run", "yes", "json", "history"}},
        {Command::Restore,
         "restore",
         "restore -p PORT [--list | --at TIME] [--include-factory] [--yes] [--json]",
         "Lists the meter's backups, or writes the one taken at TIME, reviewed and verified as a write.",
         {"port", "ports", "list", "at", "include-factory", "dry-run", "yes", "json", "history"}},
        {Command::Watch,
         "watch",
         "watch -p PORT [--count N] [--format text|csv|json]",
         "Prints one line of measurements per refresh until interrupted or N lines.",
         {"port", "ports", "count", "format"}},
        {Command::Log,
         "log",
         "log -p PORT -o FILE [--seconds N] [--format txt|csv]",
         "Logs the measurements: in the window's format (Windows-1250, CR LF, one line a second) or as CSV "
         "(UTF-8, ISO 8601 time stamps with milliseconds, a header with units, one line per refresh). With "
         "several ports each meter gets FILE with its factory number before the extension.",
         {"port", "ports", "output", "seconds", "format"}},
        {Command::Service,
         "service",
         "service -p PORT clear-errors|user-defaults|factory-defaults|clear-energy --yes",
         "Sends a service command and shows what the meter reports afterwards.",
         {"port", "ports", "yes", "json", "history"}},
    };
    return kCommands;
}

const OptionRow* optionRow(const char* key)
{
    for (const OptionRow& o : kOptions)
        if (qstrcmp(o.key, key) == 0)
            return &o;
    return nullptr;
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
    for (const char* key : c.options) {
        const OptionRow* o = optionRow(key);
        QString names = o->shortName
                            ? QStringLiteral("-%1, --%2").arg(QLatin1String(o->shortName), QLatin1String(key))
                            : QStringLiteral("    --%1").arg(QLatin1String(key));
        if (o->valueName)
            names += QLatin1Char(' ') + QLatin1String(o->valueName);
        text += QStringLiteral("  %1  %2\n").arg(names.leftJustified(22), QString::fromUtf8(o->description));
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
    static const bool verboseAdded = [] {
        for (CommandRow& c : const_cast<std::vector<CommandRow>&>(commands()))
            if (c.needsPort) {
                c.options.push_back("verbose");
                if (std::find(c.options.begin(), c.options.end(), std::string_view("history")) ==
                    c.options.end())
                    c.options.push_back("history");
            }
        return true;
    }();
    Q_UNUSED(verboseAdded);
    for (const CommandRow& c : commands())
        if (first == QLatin1String(c.name))
            chosen = &c;
    if (!chosen)
        return usage(QStringLiteral("unknown command \"%1\"").arg(first));

    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addOption(QCommandLineOption(QStringList{QStringLiteral("h"), QStringLiteral("help")}));
    for (const char* key : chosen->options) {
        const OptionRow* o = optionRow(key);
        QStringList names{QLatin1String(key)};
        if (o->shortName)
            names.prepend(QLatin1String(o->shortName));
        parser.addOption(o->valueName ? QCommandLineOption(names, QString(), QLatin1String(o->valueName))
                                      : QCommandLineOption(names));
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
    auto has = [&](const char* key) {
        return std::find_if(chosen->options.begin(), chosen->options.end(),
                            [key](const char* k) { return qstrcmp(k, key) == 0; }) != chosen->options.end() &&
               parser.isSet(QLatin1String(key));
    };
    auto value = [&](const char* key) { return has(key) ? parser.value(QLatin1String(key)) : QString(); };
    if (has("port"))
        o.ports = parser.values(QStringLiteral("port"));
    if (has("ports")) {
        const QString path = value("ports");
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

    o.output = value("output");
    o.format = value("format");
    if (has("section"))
        o.section = value("section");
    o.includeFactory = has("include-factory");
    o.dryRun = has("dry-run");
    o.yes = has("yes");
    o.json = has("json");
    o.verbose = has("verbose");
    o.list = has("list");
    o.at = value("at");
    o.history = value("history");
    for (const QString& k : value("keep").split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        if (!keepableField(k.trimmed()))
            return usage(QStringLiteral("--keep: \"%1\" is no field of RAM2 or RAM3").arg(k.trimmed()));
        o.keep << k.trimmed();
    }
    if (has("count")) {
        bool ok = false;
        o.count = value("count").toInt(&ok);
        if (!ok || o.count < 1)
            return usage(QStringLiteral("--count: \"%1\" is not a positive number").arg(value("count")));
    }
    if (has("seconds")) {
        bool ok = false;
        o.seconds = value("seconds").toDouble(&ok);
        if (!ok || !(o.seconds > 0))
            return usage(QStringLiteral("--seconds: \"%1\" is not a positive number").arg(value("seconds")));
    }

    const QStringList positional = parser.positionalArguments();
    auto formats = [&](QStringList allowed) -> std::optional<ParseResult> {
        if (o.format.isEmpty())
            o.format = allowed.first();
        if (!allowed.contains(o.format))
            return usage(
                QStringLiteral("%1: --format must be one of %2").arg(first, allowed.join(QLatin1Char('|'))));
        return std::nullopt;
    };
    std::optional<ParseResult> bad;
    int wanted = 0;
    switch (o.command) {
    case Command::Read:
        bad = formats({QStringLiteral("ini"), QStringLiteral("json"), QStringLiteral("user")});
        if (!bad && o.format == QLatin1String("user") && o.output.isEmpty() && o.ports.size() > 1)
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
        bad = formats({QStringLiteral("text"), QStringLiteral("csv"), QStringLiteral("json")});
        break;
    case Command::Log:
        bad = formats({QStringLiteral("txt"), QStringLiteral("csv")});
        if (!bad && o.output.isEmpty())
            bad = usage(QStringLiteral("log: no file given (-o FILE)"));
        break;
    case Command::Service: {
        wanted = 1;
        const QStringList known{QStringLiteral("clear-errors"), QStringLiteral("user-defaults"),
                                QStringLiteral("factory-defaults"), QStringLiteral("clear-energy")};
        o.service = positional.value(0);
        if (!positional.isEmpty() && !known.contains(o.service))
            bad = usage(QStringLiteral("service: unknown service \"%1\" (%2)")
                            .arg(o.service, known.join(QLatin1Char('|'))));
        else if (!positional.isEmpty() && !o.yes)
            bad = usage(QStringLiteral("service: %1 changes the meter: add --yes").arg(o.service));
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
