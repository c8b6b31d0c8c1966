#include "link/CommPage.h"

#include "link/LinkDriver.h"
#include "link/PortNames.h"
#include "platform/UserPrompts.h"
#include "protocol/Commands.h"
#include "service/DataLogger.h"
#include "texts/UiTexts.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>

namespace kvam {

void PortsComboBox::showPopup()
{
    emit dropDown();
    QComboBox::showPopup();
}

CommPage::CommPage(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("TabSheet_Comm"));

    m_memo = new QPlainTextEdit(this);
    m_memo->setObjectName(QStringLiteral("Memo1"));
    m_memo->setGeometry(8, 8, 505, 477);
    m_memo->setReadOnly(true);
    // The monitor is a log, never edited. With undo on, its document keeps every appended block and
    // every pruned line as an undo step, so a long run grows without limit although 500 lines show.
    m_memo->setUndoRedoEnabled(false);
    m_memo->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QFont mono(QStringLiteral("Courier New"));
    mono.setStyleHint(QFont::TypeWriter);
    mono.setFixedPitch(true);
    mono.setPixelSize(13);
    m_memo->setFont(mono);

    auto* portLabel = new QLabel(uiText("Portsbox"), this);
    portLabel->setObjectName(QStringLiteral("PortsboxLabel"));
    portLabel->setGeometry(530, 8, 149, 16);
    m_ports = new PortsComboBox(this);
    m_ports->setObjectName(QStringLiteral("Portsbox"));
    m_ports->setGeometry(530, 26, 149, 22);
    m_ports->addItem(uiText("Portsbox.Select"));
    connect(m_ports, &PortsComboBox::dropDown, this, &CommPage::PortsboxDropDown);
    connect(m_ports, &QComboBox::activated, this, [this](int index) {
        PortsboxSelect(index);
        m_viewComm->setFocus();
    });

    m_viewComm = new QCheckBox(uiText("Viewcomm"), this);
    m_viewComm->setObjectName(QStringLiteral("Viewcomm"));
    m_viewComm->setGeometry(530, 56, 149, 20);
    m_viewComm->setChecked(true);

    // Off at start: the schedule is the 200 ms tick until the user asks for more.
    m_fastRefresh = new QCheckBox(uiText("FastRefresh"), this);
    m_fastRefresh->setObjectName(QStringLiteral("FastRefresh"));
    m_fastRefresh->setGeometry(530, 78, 180, 20);
    connect(m_fastRefresh, &QCheckBox::toggled, this, [this](bool on) {
        if (m_link)
            m_link->setFastRefresh(on);
    });

    m_commandBox = new QGroupBox(uiText("Commandbox"), this);
    m_commandBox->setObjectName(QStringLiteral("Commandbox"));
    m_commandBox->setGeometry(530, 100, 180, 346);
    for (int k = 1; k <= kCommandCount; ++k) {
        auto* box =
            new QCheckBox(QStringLiteral("%1: %2").arg(k).arg(QLatin1String(commandName(k))), m_commandBox);
        box->setObjectName(QLatin1String(commandName(k)));
        box->setGeometry(10, 20 + (k - 1) * 20, 165, 20);
        m_commandChecks[static_cast<std::size_t>(k)] = box;
    }
    m_commandBox->setEnabled(false);
    m_commandBox->hide();

    m_scan = new QCheckBox(uiText("Scan"), this);
    m_scan->setObjectName(QStringLiteral("Scan"));
    m_scan->setGeometry(530, 452, 80, 20);
    m_scan->setChecked(true);
    m_scan->hide();
    connect(m_scan, &QCheckBox::clicked, this, [this](bool checked) {
        if (m_link)
            m_link->ScanClick(checked);
    });

    m_send = new QPushButton(uiText("Sendbutton"), this);
    m_send->setObjectName(QStringLiteral("Sendbutton"));
    m_send->setGeometry(620, 450, 90, 24);
    m_send->hide();
    connect(m_send, &QPushButton::clicked, this, [this] {
        if (m_link)
            m_link->SendbuttonClick();
    });

    // The data logger: its texts never change with the language.
    m_logButton = new QPushButton(uiText("Logbutton"), this);
    m_logButton->setObjectName(QStringLiteral("Logbutton"));
    m_logButton->setGeometry(530, 486, 100, 25);
    connect(m_logButton, &QPushButton::clicked, this, &CommPage::LogbuttonClick);
    m_logFile = new QLabel(this);
    m_logFile->setObjectName(QStringLiteral("SaveFilenameText"));
    m_logFile->setGeometry(530, 516, 220, 22);
    m_logFile->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    m_logFile->setAutoFillBackground(true);
    QFont bold = m_logFile->font();
    bold.setBold(true);
    m_logFile->setFont(bold);
    setLogFailing(false);
}

QString CommPage::logButtonCaption() const
{
    return m_logButton->text();
}

QString CommPage::logFileName() const
{
    return m_logFile->text();
}

void CommPage::setLogFileName(const QString& name)
{
    m_logFile->setText(name);
}

void CommPage::setLogFailing(bool failing)
{
    QPalette p = m_logFile->palette();
    p.setColor(QPalette::Window, QColor(166, 202, 240)); // sky blue
    p.setColor(QPalette::WindowText, failing ? QColor(255, 0, 0) : QColor(0, 0, 0));
    m_logFile->setPalette(p);
    m_logFile->setProperty("failing", failing);
}

void CommPage::DisplayCom(const QString& block)
{
    if (!m_viewComm->isChecked())
        return;
    const bool atBottom = m_memo->verticalScrollBar()->value() == m_memo->verticalScrollBar()->maximum();
    QStringList lines = block.split(QStringLiteral("\r\n"));
    m_memo->setUpdatesEnabled(false);
    if (m_lines >= kMaxMonitorLines) {
        // Remove just enough of the oldest lines to bring the count below the limit.
        const int drop = m_lines - kMaxMonitorLines + 1;
        QTextCursor c(m_memo->document());
        c.movePosition(QTextCursor::Start);
        c.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor, drop);
        c.removeSelectedText();
        m_lines -= drop;
    }
    const QString text = lines.join(QLatin1Char('\n'));
    if (m_lines == 0)
        m_memo->setPlainText(text);
    else
        m_memo->appendPlainText(text);
    m_lines += static_cast<int>(lines.size());
    m_memo->setUpdatesEnabled(true);
    if (atBottom)
        m_memo->verticalScrollBar()->setValue(m_memo->verticalScrollBar()->maximum());
}

void CommPage::setPortEntries(const QStringList& entries)
{
    m_ports->clear();
    m_ports->addItems(entries);
    m_ports->setCurrentIndex(0);
}

void CommPage::selectPort(const QString& name)
{
    int index = m_ports->findText(name);
    if (index < 0) {
        m_ports->addItem(name);
        index = m_ports->count() - 1;
    }
    m_ports->setCurrentIndex(index);
}

QString CommPage::selectedPort() const
{
    return m_ports->currentText();
}

void CommPage::showFlags(const std::array<bool, 17>& flags)
{
    for (int k = 1; k <= kCommandCount; ++k)
        m_commandChecks[static_cast<std::size_t>(k)]->setChecked(flags[static_cast<std::size_t>(k)]);
}

void CommPage::attach(LinkDriver& link, DataLogger& logger, UserPrompts& prompts)
{
    m_link = &link;
    m_link->setFastRefresh(m_fastRefresh->isChecked());
    m_logger = &logger;
    m_prompts = &prompts;
    m_logDir = QDir::currentPath();
    connect(&link, &LinkDriver::monitorText, this, &CommPage::DisplayCom);
    connect(&link, &LinkDriver::flagsUpdated, this, &CommPage::mirrorFlags);
    connect(&logger, &DataLogger::failed, this, [this](const QString& reason) {
        setLogFailing(true);
        m_prompts->showError(currentText("Message.LogWriteFailed")
                                 .arg(QDir::toNativeSeparators(m_logger->fileName()), reason));
    });
    connect(&logger, &DataLogger::recovered, this, [this] { setLogFailing(false); });
    mirrorFlags();
}

void CommPage::mirrorFlags()
{
    std::array<bool, 17> flags{};
    for (int k = 1; k <= kCommandCount; ++k)
        flags[static_cast<std::size_t>(k)] = m_link->engine().flag(k);
    showFlags(flags);
}

void CommPage::PortsboxDropDown()
{
    if (m_link)
        m_link->closePort();
    GetComPorts();
}

void CommPage::GetComPorts()
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    setPortEntries(portListEntries(systemSerialPorts()));
    QApplication::restoreOverrideCursor();
}

void CommPage::PortsboxSelect(int index)
{
    if (index > 0)
        InitComPort1();
}

void CommPage::InitComPort1()
{
    const QString name = selectedPort();
    if (const auto error = m_link->openPort(name))
        m_prompts->showError(currentText("Message.PortOpenFailed").arg(name, *error));
}

void CommPage::openPortByName(const QString& name)
{
    selectPort(name);
    InitComPort1();
}

void CommPage::LogbuttonClick()
{
    if (m_logger->isRunning()) {
        m_logger->stop();
        showLogging();
        return;
    }
    const FileRequest request{
        true,      currentText("LogFileDialog"),           currentText("LogFileDialog.Filter"),
        QString(), QDir(m_logDir).filePath(logFileName()), false};
    const QString chosen = m_prompts->chooseFile(request);
    if (chosen.isEmpty() || !m_logger->start(chosen))
        return;
    m_logDir = QFileInfo(chosen).absolutePath();
    setLogFileName(QFileInfo(m_logger->fileName()).fileName());
    showLogging();
}

void CommPage::showLogging()
{
    m_logButton->setText(currentText(m_logger->isRunning() ? "Logbutton.Stop" : "Logbutton"));
}

} // namespace kvam
