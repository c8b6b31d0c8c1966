#pragma once

#include <QComboBox>
#include <QWidget>

#include <array>

class QCheckBox;
class QGroupBox;
class QPlainTextEdit;
class QLabel;
class QPushButton;
class QTableWidget;
class QTimer;

namespace kvam {

class DataLogger;
class LinkDriver;
struct UserPrompts;

/// The port list: opening it is an event of its own, so the caller can drop the connection and
/// rescan before the entries show.
class PortsComboBox : public QComboBox
{
    Q_OBJECT
public:
    using QComboBox::QComboBox;
    void showPopup() override;
signals:
    void dropDown();
};

/// The "Kommunikáció" page: port selection, the communication monitor and the command boxes.
class CommPage : public QWidget
{
    Q_OBJECT
public:
    static constexpr int kMaxMonitorLines = 500;

    explicit CommPage(QWidget* parent = nullptr);
    /// Shows the link's traffic and request flags, opens the ports picked, drives Scan and Send, and
    /// starts and stops the data logger.
    void attach(LinkDriver& link, DataLogger& logger, UserPrompts& prompts);

    // Handlers.
    /// Opening the port list drops the connection and lists the ports anew.
    void PortsboxDropDown();
    /// Any entry but the first opens its port; the last asks for a network address first.
    void PortsboxSelect(int index);
    void GetComPorts();
    /// Opens the selected port; a failure is shown with the system's reason.
    void InitComPort1();
    /// Opens NAME as if the user had picked it (added to the list when missing).
    void openPortByName(const QString& name);
    /// Starts logging to a chosen file, or stops it.
    void LogbuttonClick();

    /// Appends one block of monitor text (CR LF separates lines) unless "View comm" is off. The
    /// oldest lines go first once the monitor holds 500. While the page is hidden only the lines
    /// are kept; the monitor shows them when the page is shown.
    void DisplayCom(const QString& block);
    int monitorLineCount() const { return static_cast<int>(m_monitor.size()); }
    /// The monitor's lines, joined by LF: what `Memo1` holds, or will hold once it is shown.
    QString monitorText() const;

    /// Replaces the port entries; the first entry is selected.
    void setPortEntries(const QStringList& entries);
    /// Selects `name`, adding it to the list first when it is not there (a device path given by hand).
    void selectPort(const QString& name);
    QString selectedPort() const;

    /// Mirrors the request flags (index 1..16) in the command check boxes.
    void showFlags(const std::array<bool, 17>& flags);

    /// The log button's caption: the text table's Logbutton while logging is off, Logbutton.Stop while
    /// it is on.
    QString logButtonCaption() const;
    /// The name of the log file in use (without folder).
    QString logFileName() const;
    void setLogFileName(const QString& name);
    /// Red while the log file cannot be written, normal again after the next good line.
    void setLogFailing(bool failing);

    PortsComboBox* portsBox() const { return m_ports; }
    QCheckBox* scanBox() const { return m_scan; }

    /// How often the line statistics are shown anew while the page is on screen.
    static constexpr int kLineStatsRefreshMs = 250;
    /// Shows the engine's line statistics now: the totals, and per command sent the answers and
    /// their least, median and most time in milliseconds.
    void showLineStats();
    /// "Nullázás": the statistics start afresh.
    void LineStatsResetClick();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void mirrorFlags();
    void showLogging();
    void makeLineStatsBox();
    /// Brings `Memo1` up to the monitor's lines after traffic while it was hidden.
    void catchUpMemo();

    LinkDriver* m_link = nullptr;
    DataLogger* m_logger = nullptr;
    UserPrompts* m_prompts = nullptr;
    QString m_logDir;
    QPushButton* m_logButton = nullptr;
    QLabel* m_logFile = nullptr;
    PortsComboBox* m_ports;
    QPlainTextEdit* m_memo;
    QCheckBox* m_viewComm;
    QCheckBox* m_fastRefresh;
    QGroupBox* m_commandBox;
    std::array<QCheckBox*, 17> m_commandChecks{};
    QCheckBox* m_scan;
    QPushButton* m_send;
    QStringList m_monitor;     ///< the monitor's lines, oldest first
    bool m_memoBehind = false; ///< lines came while `Memo1` was hidden
    QGroupBox* m_statsBox = nullptr;
    std::array<QLabel*, 7> m_statsValues{};
    QLabel* m_timeoutValue = nullptr;   ///< the answer time-out in force
    QLabel* m_roundTripValue = nullptr; ///< a network port's round trip ("–" on a serial line)
    QTableWidget* m_statsTable = nullptr;
    QTimer* m_statsTimer = nullptr;
};

} // namespace kvam
