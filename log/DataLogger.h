#pragma once

#include "records/Records.h"

#include <QDateTime>
#include <QObject>
#include <QString>

#include <functional>

class QTimer;

namespace kvam {

/// Logs the measurement page's values once a second to a text file (the format of LogFile.h).
///
/// Logging is on exactly while the child timer "LogTimer" (1000 ms) is active. Every tick opens
/// the file, appends one line (after the header when the file does not exist yet) and closes it,
/// so each line is complete on disk when the tick ends and nothing is held between ticks.
///
/// A tick that cannot create, open or write the file does not stop the logging. The first failure
/// of a run emits failed() with the system's reason; failing() stays true while the following
/// ticks fail too, without further messages; the next good tick clears it and emits recovered().
/// A failed tick takes back the bytes it wrote, so a later line never follows half a line, and a
/// file it created is removed so that the next tick writes the header again.
class DataLogger : public QObject
{
    Q_OBJECT

public:
    /// The latest measurement the page shows, or null before the first one.
    using Source = std::function<const NetRecord*()>;
    using Clock = std::function<QDateTime()>;

    explicit DataLogger(QObject* parent = nullptr);

    /// Where the timer's ticks take their values from; without one the fields are "-".
    void setSource(Source source);
    /// The time of the timer's ticks; QDateTime::currentDateTime() unless set.
    void setClock(Clock clock);

    /// Starts logging to logFileNameFor(chosen) (".txt" added to a name without extension) and
    /// clears failing(). Nothing is written before the first tick. Returns false and changes
    /// nothing for an empty name.
    bool start(const QString& chosen);
    /// Stops the timer; the file is closed already. failing() keeps the last tick's state.
    void stop();
    bool isRunning() const;

    /// The full path of the log file; empty before the first start.
    QString fileName() const { return m_fileName; }
    bool failing() const { return m_failing; }
    /// The system's reason of the last failed tick; empty before any failure.
    QString lastError() const { return m_lastError; }

    QTimer* timer() const { return m_timer; }

    /// Writes one line for `now` with the texts of `latest` ("-" each when null), in the default
    /// QLocale. Returns true when the line was written; false when idle (nothing happens) or when
    /// the tick failed.
    bool tick(const NetRecord* latest, const QDateTime& now);

signals:
    /// The first tick of a run of failures failed; `reason` is the system's error text.
    void failed(const QString& reason);
    /// failing() turned false: a tick succeeded after failures, or a new start began.
    void recovered();

private:
    void onTimer();
    bool append(const QByteArray& line, QString* error) const;
    void setFailing(bool failing, const QString& reason);

    QTimer* m_timer = nullptr;
    Source m_source;
    Clock m_clock;
    QString m_fileName;
    QString m_lastError;
    bool m_failing = false;
};

} // namespace kvam
