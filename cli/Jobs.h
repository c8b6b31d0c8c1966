#pragma once

#include "cli/CliOptions.h"
#include "cli/MeterSession.h"

#include <QByteArray>
#include <QJsonObject>
#include <QObject>
#include <QTimer>

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
    std::function<void(const QByteArray&)> out;  ///< standard output
    std::function<void(const QString&)> error;   ///< one line on standard error
    std::function<bool(const QString&)> confirm; ///< asks on the terminal; false when not on one
    bool terminal = false;                       ///< standard input is a terminal
    QList<QByteArray> jsonLines;                 ///< read --format json -o FILE: written at the end
    bool csvHeaderDone = false;                  ///< watch --format csv: the header line is out
};

/// One command on one meter: opens its port, waits for what it needs, does its work, reports, and
/// ends with a status. Every step is taken on the event loop, so many meters are served at once.
class Job : public QObject
{
    Q_OBJECT
public:
    Job(MeterSession& session, Shared& shared);
    ~Job() override;

    /// Checks what needs no meter (the files), then opens the port.
    void begin();
    /// Ctrl-C or a termination signal.
    virtual void interrupt();

    bool isDone() const { return m_done; }
    Status status() const { return m_status; }
    MeterSession& session() { return m_s; }

signals:
    void done();

protected:
    /// What can be checked before the port is opened; false after finish().
    virtual bool precheck() { return true; }
    virtual void started() {}
    /// Called after every answer, time-out and tick until the job is done.
    virtual void step() = 0;
    /// Commands that run until stopped have no overall deadline.
    virtual bool endless() const { return false; }

    /// The meter has said who it is (its RAM3), and its firmware is one this program works with.
    bool identified() const;
    void finish(Status status, const QString& error = QString());
    /// The port and meter this job's lines are tagged with.
    QString tag() const;
    /// A result block: a header naming the port and meter, then `lines`.
    void printBlock(const QStringList& lines);
    void printJson(QJsonObject object, Status status);

    MeterSession& m_s;
    Shared& m_shared;
    const Options& m_o;

private:
    void poke();

    QTimer m_poke;
    QTimer m_tick;
    QElapsedTimer m_age;
    bool m_done = false;
    bool m_started = false;
    bool m_versionSeen = false;
    Status m_status = Status::Ok;
};

/// The job of the command the options name.
std::unique_ptr<Job> makeJob(MeterSession& session, Shared& shared);

/// The ports command: no meter is opened.
Status listPorts(Shared& shared);

} // namespace kvam::cli
