#pragma once

#include "cli/MeterSession.h"
#include "cli/Shared.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <optional>

namespace kvam::cli {

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
    /// The meter's records once the meter is identified and RAM2 and RAM3 are both held; none before.
    std::optional<MeterRecords> readyRecords() const;
    void finish(Status status, const QString& error = QString());
    /// The port and meter this job's lines on standard error are tagged with.
    QString tag() const;
    /// The port and meter the results are of.
    Origin origin() const;
    Presenter& presenter() { return *m_shared.presenter; }
    /// `file`, or with several meters `file` with the meter's factory number before its extension.
    QString perMeterFile(const QString& file) const;

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

} // namespace kvam::cli
