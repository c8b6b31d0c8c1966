#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace kvam {

/// What the command line asks for. Without options the tool starts as it always does.
struct CommandLineOptions
{
    QString port;                 ///< open this port at start ("DEMO" for the virtual meter)
    QString page;                 ///< make this page active at start
    QString screenshot;           ///< save a picture of the window after three seconds, then quit
    QString report;               ///< wait for the meter's records, write the report to this file, quit
    std::optional<int> password;  ///< enter this number at start as the password dialog would take it
    std::optional<int> timeoutMs; ///< a fixed answer time-out instead of the one that fits the link
    bool english = false;         ///< switch to the English texts at start, as the English flag does
    bool noReview = false;        ///< writes go without the review of their changes
    bool fast = false;            ///< start with the fast refresh on
    bool help = false;
};

struct CommandLineResult
{
    std::optional<CommandLineOptions> options; ///< empty when the arguments are wrong
    QString error;
};

/// Parses the arguments (program name first).
CommandLineResult parseCommandLine(const QStringList& arguments);

/// The text of --help.
QString commandLineHelp();

} // namespace kvam
