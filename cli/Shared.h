#pragma once

#include "cli/CliOptions.h"
#include "cli/Presenter.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>
#include <memory>

namespace kvam {
class WriteHistory;
}

namespace kvam::cli {

/// What the meters' jobs share: the options, where output goes, the history.
struct Shared
{
    Options options;
    WriteHistory* history = nullptr;
    bool several = false;                        ///< more than one port
    std::unique_ptr<Presenter> presenter;        ///< the results on standard output
    std::function<void(const QByteArray&)> out;  ///< standard output
    std::function<void(const QString&)> error;   ///< one line on standard error
    std::function<bool(const QString&)> confirm; ///< asks on the terminal; false when not on one
    bool terminal = false;                       ///< standard input is a terminal
    QList<QByteArray> jsonLines;                 ///< read --format json -o FILE: written at the end
};

} // namespace kvam::cli
