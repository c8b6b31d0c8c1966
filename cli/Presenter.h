#pragma once

#include "cli/CliOptions.h"
#include "config/MeterHistory.h"
#include "records/RecordDiff.h"
#include "records/Records.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QSerialPortInfo;

namespace kvam::cli {

/// The port a result is of, and the meter on it.
struct Origin
{
    QString port;
    std::optional<std::uint32_t> meter; ///< none until the meter has said who it is

    /// The meter's factory number, or "?".
    QString meterText() const;
};

/// info: who the meter is and what it reports.
struct MeterInfo
{
    VersionRecord version;
    std::array<QString, 2> modules; ///< the fitted modules, slot 1 and 2
    QStringList dynamicErrors;
    QStringList staticErrors;
    bool errorLed = false;
    std::array<bool, 3> inputs = {};
    std::array<bool, 2> outputs = {};
};

/// diff: a settings section against the meter.
struct Comparison
{
    QString file;
    QString section;
    std::vector<FieldChange> changes; ///< the meter's value → the file's
};

/// restore --list: the meter's backups.
struct BackupList
{
    QString folder;
    std::vector<BackupInfo> backups;
};

/// write, restore, clear-energy: how a write went, in the words of the review and its outcome.
struct WriteReport
{
    std::vector<FieldChange> changes;     ///< what was to be written: the meter's value → the new
    std::vector<FieldChange> differences; ///< what the read-back differs in: written → read
    QStringList lines;                    ///< the review and the outcome
    qsizetype reviewed = 0;               ///< how many of `lines` review() was given before the question
};

/// service clear-errors: the errors the meter reports afterwards.
struct ErrorsCleared
{
    QStringList staticErrors;
    QStringList dynamicErrors;
};

/// service user-defaults, factory-defaults: the records read back.
struct ServiceChanges
{
    Service service = Service::None;
    std::vector<FieldChange> changes; ///< the meter's value before → now
};

/// Puts the jobs' results on standard output in one format. One presenter serves every meter of
/// the run; the jobs hand it what they found and never look at the format themselves.
class Presenter
{
public:
    using Output = std::function<void(const QByteArray&)>;

    virtual ~Presenter();

    /// ports: the serial ports found.
    virtual void ports(const QList<QSerialPortInfo>& ports) = 0;
    virtual void info(const Origin& origin, const MeterInfo& info) = 0;
    virtual void compared(const Origin& origin, const Comparison& comparison, Status status) = 0;
    virtual void backups(const Origin& origin, const BackupList& list) = 0;
    /// A write's review, before the question on the terminal.
    virtual void review(const Origin& origin, const QStringList& lines) = 0;
    virtual void written(const Origin& origin, const WriteReport& report, Status status) = 0;
    virtual void errorsCleared(const Origin& origin, const ErrorsCleared& errors, Status status) = 0;
    virtual void serviceDone(const Origin& origin, const ServiceChanges& changes) = 0;
    /// watch: one line of measurements.
    virtual void measured(const Origin& origin, const QDateTime& when, const NetRecord& net) = 0;

    /// The presenter of `format` (text for the formats that are files: ini, user, txt).
    static std::unique_ptr<Presenter> make(Format format, Output out, bool several);

protected:
    Presenter(Output out, bool several) : m_out(std::move(out)), m_several(several) {}

    Output m_out;
    const bool m_several; ///< more than one port
};

} // namespace kvam::cli
