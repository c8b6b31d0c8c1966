#pragma once

#include <QComboBox>
#include <QWidget>

#include <array>

class QCheckBox;
class QGroupBox;
class QPlainTextEdit;
class QLabel;
class QPushButton;

namespace kvam {

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

    /// Appends one block of monitor text (CR LF separates lines) unless "View comm" is off. The
    /// oldest lines go first once the monitor holds 500.
    void DisplayCom(const QString& block);
    int monitorLineCount() const { return m_lines; }

    /// Replaces the port entries; the first entry is selected.
    void setPortEntries(const QStringList& entries);
    /// Selects `name`, adding it to the list first when it is not there (a device path given by hand).
    void selectPort(const QString& name);
    QString selectedPort() const;

    /// Mirrors the request flags (index 1..16) in the command check boxes.
    void showFlags(const std::array<bool, 17>& flags);
    /// Service mode shows the command boxes (still disabled), Scan and Send.
    void setServiceMode(bool on);

    /// The log button's caption: the text table's Logbutton while logging is off, Logbutton.Stop while
    /// it is on.
    QString logButtonCaption() const;
    void setLogButtonCaption(const QString& caption);
    /// The name of the log file in use (without folder).
    QString logFileName() const;
    void setLogFileName(const QString& name);
    /// Red while the log file cannot be written, normal again after the next good line.
    void setLogFailing(bool failing);

    PortsComboBox* portsBox() const { return m_ports; }
    QCheckBox* scanBox() const { return m_scan; }

signals:
    void PortsboxDropDown();
    void PortsboxSelect(int index);
    void ScanClick(bool checked);
    void SendbuttonClick();
    void LogbuttonClick();

private:
    QPushButton* m_logButton = nullptr;
    QLabel* m_logFile = nullptr;
    PortsComboBox* m_ports;
    QPlainTextEdit* m_memo;
    QCheckBox* m_viewComm;
    QGroupBox* m_commandBox;
    std::array<QCheckBox*, 17> m_commandChecks{};
    QCheckBox* m_scan;
    QPushButton* m_send;
    int m_lines = 0;
};

} // namespace kvam
