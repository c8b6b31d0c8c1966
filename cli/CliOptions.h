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

/// What one start of the tool asks for.
struct Options
{
    Command command = Command::Ports;
    QStringList ports;              ///< -p, then the lines of --ports
    QString file;                   ///< diff, write: the settings file
    QString output;                 ///< read, log: -o
    QString format;                 ///< read: ini json user; watch: text csv json; log: txt csv
    std::optional<QString> section; ///< diff, write: --section; else the meter's factory number
    QStringList keep;               ///< write: field names taken from the meter ("MB01Addr", "Ratio[1]")
    bool includeFactory = false;
    bool dryRun = false;
    bool yes = false;
    bool json = false;
    bool verbose = false; ///< the model's notes (writes held, dropped, verified) and the line's traffic
    bool list = false;    ///< restore --list
    QString at;           ///< restore --at
    int count = 0;        ///< watch: lines per meter (0: until interrupted)
    double seconds = 0;   ///< log: how long (0: until interrupted)
    QString service;      ///< clear-errors user-defaults factory-defaults clear-energy
    QString history;      ///< where backups and journals are kept (empty: the window's folder)
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
