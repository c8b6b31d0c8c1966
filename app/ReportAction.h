#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QStringList>
#include <QTimer>

namespace kvam {

class TForm1;

/// Exit statuses of a scripted start (--screenshot, --report): those of kvam2100-cli.
enum ScriptStatus : int
{
    kScriptOk = 0,
    kScriptFailed = 1,
    kScriptNoMeter = 3, ///< no port, the port cannot be opened, or the records never arrived
    kScriptRefused = 4, ///< the meter's firmware is refused
    kScriptFile = 5,    ///< the file asked for cannot be written
};

/// The window's commissioning report: the "Jelentés…" button of the measurement page and the
/// report of a scripted start. It notes which of the meter's records have arrived since start, so a
/// report is made only of records read from the meter.
class ReportAction : public QObject
{
    Q_OBJECT
public:
    explicit ReportAction(TForm1& window);

    /// The records the report still lacks, by the record tables' names; empty when it can be made.
    QStringList missing() const;
    /// Asks the meter for the records the report lacks.
    void askMissing();
    /// Builds the report now and writes it to `file` (PDF or HTML by its extension). False with the
    /// reason when it cannot be written; nothing is left of a half-written file.
    bool write(const QString& file, QString* reason);

    /// "Jelentés…": says which records are still missing (and asks for them), or asks for the file
    /// and writes the report there; a failure is shown with the system's reason.
    void ReportButtonClick();

    /// A scripted report: waits at most `timeoutMs` for the records, writes `file` and ends the
    /// program with kScriptOk, kScriptNoMeter (records missing, named on standard error) or
    /// kScriptFile.
    void runScripted(const QString& file, int timeoutMs);

private:
    void scriptedStep();

    TForm1& m_window;
    bool m_version = false;
    bool m_state = false;
    bool m_caldata = false;
    bool m_harmonics = false;
    QString m_file;
    int m_timeoutMs = 0;
    QElapsedTimer m_waiting;
    qint64 m_lastAsked = -1;
    QTimer m_poll;
};

} // namespace kvam
