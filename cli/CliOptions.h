#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace kvam::cli {

/// The exit status of the command-line tool; with several meters, the highest of theirs.
enum class Status : int
{
    Ok = 0,
    Differs = 1,  ///< differences found, or a write not verified
    Usage = 2,    ///< the command line is wrong
    NoMeter = 3,  ///< a port cannot be opened, or the meter does not answer
    Firmware = 4, ///< the meter's firmware is refused
    File = 5,     ///< a file cannot be read or written
};

/// The command, the first argument.
enum class Command
{
    Ports,
    Info,
    Read,
    Diff,
    Write,
    Restore,
    Watch,
    Log,
    Service
};

/// How the results are given: on standard output, or in the file of read and log.
enum class Format
{
    Text,      ///< lines for a reader ("text"; without --json)
    Json,      ///< one JSON object a line ("json"; --json)
    Ini,       ///< read: a settings section ("ini")
    User,      ///< read: the raw RAM2 record of a .user file ("user")
    Csv,       ///< watch, log: comma-separated measurements ("csv")
    WindowLog, ///< log: the window's log format ("txt")
};

/// The service command's argument.
enum class Service
{
    None,
    ClearErrors,
    UserDefaults,
    FactoryDefaults,
    ClearEnergy
};

/// The name a service is given by on the command line ("clear-errors").
QString serviceName(Service service);

/// What one start of the tool asks for.
struct Options
{
    Command command = Command::Ports;
    QStringList ports;              ///< -p, then the lines of --ports
    QString file;                   ///< diff, write: the settings file
    QString output;                 ///< read, log: -o
    Format format = Format::Text;   ///< read: ini json user; watch: text csv json; log: txt csv; else --json
    std::optional<QString> section; ///< diff, write: --section; else the meter's factory number
    QStringList keep;               ///< write: field names taken from the meter ("MB01Addr", "Ratio[1]")
    bool includeFactory = false;
    bool dryRun = false;
    bool yes = false;
    bool verbose = false; ///< the model's notes (writes held, dropped, verified) and the line's traffic
    bool list = false;    ///< restore --list
    QString at;           ///< restore --at
    int count = 0;        ///< watch: lines per meter (0: until interrupted)
    double seconds = 0;   ///< log: how long (0: until interrupted)
    Service service = Service::None;
    QString history;              ///< where backups and journals are kept (empty: the window's folder)
    std::optional<int> timeoutMs; ///< --timeout: a fixed answer time-out
    double retrySeconds = 5;      ///< --retry: how long a lost network connection is tried again
};

struct ParseResult
{
    std::optional<Options> options; ///< none: print `text` and end with `status`
    QString text;                   ///< the help or version text, or the error (one line)
    Status status = Status::Ok;
};

/// Parses the arguments (the program name first). Files named by --ports are read here.
ParseResult parseArguments(const QStringList& arguments);

/// The record-table names --keep accepts: a RAM2 or RAM3 field, or one element of it ("Ratio[1]").
bool keepableField(const QString& name);

} // namespace kvam::cli
