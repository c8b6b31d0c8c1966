#include "service/CommPage.h"

#include "link/LinkDriver.h"
#include "link/PortNames.h"
#include "log/DataLogger.h"
#include "platform/LanguageSwitch.h"
#include "platform/NetworkPort.h"
#include "platform/NumberFormat.h"
#include "platform/UserPrompts.h"
#include "protocol/Commands.h"
#include "texts/UiTexts.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTableWidget>
#include <QTextBlock>
#include <QTextCursor>
#include <QTimer>

namespace kvam {

namespace {

/// The totals of the line statistics, in the order shown: the caption's key and the count.
struct LineTotalRow
{
    const char* key;
    std::uint64_t LineTotals::*count;
};
constexpr LineTotalRow kLineTotalRows[] = {
    {"LineStatsRequests", &LineTotals::requests}, {"LineStatsAnswers", &LineTotals::answers},
    {"LineStatsTimeouts", &LineTotals::timeouts}, {"LineStatsCrcErrors", &LineTotals::crcErrors},
    {"LineStatsTooShort", &LineTotals::tooShort}, {"LineStatsLate", &LineTotals::lateFrames},
    {"LineStatsStray", &LineTotals::strayBytes},
};

/// The columns of the per-command table: command, answers timed, least, median, most.
constexpr const char* kLineTimeColumns[] = {"LineStats.Command", "LineStats.Count", "LineStats.Least",
                                            "LineStats.Median", "LineStats.Most"};
constexpr int kLineTimeWidths[] = {86, 24, 30, 44, 28};

/// Tenths of a millisecond only where they tell something: a real line's answers take tens.
QString milliseconds(std::int64_t micros)
{
    const double ms = double(micros) / 1000.0;
    return formatNumber(ms < 10.0 ? "%.1f" : "%.0f", ms);
}

} // namespace

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
    // A network address is often longer than the box.
    connect(m_ports, &QComboBox::currentTextChanged, m_ports, &QComboBox::setToolTip);
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

    makeLineStatsBox();
}

void CommPage::makeLineStatsBox()
{
    // Below the port and monitor controls of the right-hand column. The command boxes of the
    // service mode take the same column: the statistics step aside while they show.
    m_statsBox = new QGroupBox(uiText("LineStatsBox"), this);
    m_statsBox->setObjectName(QStringLiteral("LineStatsBox"));
    m_statsBox->setGeometry(530, 150, 230, 330);
    QFont small = m_statsBox->font();
    small.setPixelSize(11);

    int y = 20;
    for (std::size_t i = 0; i < std::size(kLineTotalRows); ++i, y += 16) {
        auto* caption = new QLabel(uiText(kLineTotalRows[i].key), m_statsBox);
        caption->setObjectName(QLatin1String(kLineTotalRows[i].key));
        caption->setGeometry(8, y, 150, 16);
        caption->setFont(small);
        auto* value = new QLabel(QStringLiteral("0"), m_statsBox);
        value->setObjectName(QLatin1String(kLineTotalRows[i].key) + QStringLiteral("Value"));
        value->setGeometry(150, y, 72, 16);
        value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        value->setFont(small);
        m_statsValues[i] = value;
    }

    // The answer time-out and what a network adds to it.
    for (const auto& [key, into] : {std::pair{"LineStatsTimeout", &m_timeoutValue},
                                    std::pair{"LineStatsRoundTrip", &m_roundTripValue}}) {
        auto* caption = new QLabel(uiText(key), m_statsBox);
        caption->setObjectName(QLatin1String(key));
        caption->setGeometry(8, y, 150, 16);
        caption->setFont(small);
        auto* value = new QLabel(m_statsBox);
        value->setObjectName(QLatin1String(key) + QStringLiteral("Value"));
        value->setGeometry(150, y, 72, 16);
        value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        value->setFont(small);
        *into = value;
        y += 16;
    }

    auto* times = new QLabel(uiText("LineStatsTimes"), m_statsBox);
    times->setObjectName(QStringLiteral("LineStatsTimes"));
    times->setGeometry(8, y + 4, 214, 16);
    times->setFont(small);

    m_statsTable = new QTableWidget(0, int(std::size(kLineTimeColumns)), m_statsBox);
    m_statsTable->setObjectName(QStringLiteral("LineStatsTable"));
    m_statsTable->setGeometry(8, y + 22, 214, 296 - (y + 22));
    m_statsTable->setFont(small);
    m_statsTable->horizontalHeader()->setFont(small);
    m_statsTable->verticalHeader()->hide();
    m_statsTable->verticalHeader()->setDefaultSectionSize(16);
    m_statsTable->horizontalHeader()->setMinimumSectionSize(10);
    m_statsTable->horizontalHeader()->setFixedHeight(18);
    m_statsTable->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_statsTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_statsTable->setSelectionMode(QAbstractItemView::NoSelection);
    m_statsTable->setFocusPolicy(Qt::NoFocus);
    m_statsTable->setWordWrap(false);
    for (int c = 0; c < int(std::size(kLineTimeWidths)); ++c)
        m_statsTable->setColumnWidth(c, kLineTimeWidths[c]);
    m_statsTable->horizontalHeader()->setStretchLastSection(true);

    auto* reset = new QPushButton(uiText("LineStatsReset"), m_statsBox);
    reset->setObjectName(QStringLiteral("LineStatsReset"));
    reset->setGeometry(8, 300, 90, 24);
    connect(reset, &QPushButton::clicked, this, &CommPage::LineStatsResetClick);

    m_statsTimer = new QTimer(this);
    m_statsTimer->setObjectName(QStringLiteral("LineStatsTimer"));
    m_statsTimer->setInterval(kLineStatsRefreshMs);
    connect(m_statsTimer, &QTimer::timeout, this, &CommPage::showLineStats);

    m_commandBox->installEventFilter(this);
    m_statsBox->setVisible(m_commandBox->isHidden());
    setProperty(kFollowsLanguageProperty, true);
    showLineStats();
}

void CommPage::showLineStats()
{
    QStringList headers;
    for (const char* key : kLineTimeColumns)
        headers << currentText(key);
    for (int c = 0; c < headers.size(); ++c) {
        QTableWidgetItem* h = m_statsTable->horizontalHeaderItem(c);
        if (!h || h->text() != headers[c])
            m_statsTable->setHorizontalHeaderItem(c, new QTableWidgetItem(headers[c]));
    }
    if (!m_link)
        return;
    const LineStats& stats = m_link->engine().lineStats();
    for (std::size_t i = 0; i < std::size(kLineTotalRows); ++i)
        m_statsValues[i]->setText(QString::number(stats.totals().*kLineTotalRows[i].count));
    m_timeoutValue->setText(QString::number(m_link->answerTimeoutMs()));
    const bool network = isNetworkPortName(m_link->portName()) && m_link->portStatus() != PortStatus::Closed;
    m_roundTripValue->setText(network ? QString::number(m_link->roundTripMs()) : QStringLiteral("–"));

    int row = 0;
    for (int k = 1; k <= kCommandCount; ++k) {
        const CommandCounts& c = stats.command(k);
        if (c.sent == 0)
            continue;
        const bool timed = c.times.count() > 0;
        const QString cells[] = {QLatin1String(commandName(k)), QString::number(c.times.count()),
                                 timed ? milliseconds(c.times.least()) : QString(),
                                 timed ? milliseconds(c.times.median()) : QString(),
                                 timed ? milliseconds(c.times.most()) : QString()};
        if (m_statsTable->rowCount() <= row)
            m_statsTable->insertRow(row);
        for (int col = 0; col < int(std::size(cells)); ++col) {
            QTableWidgetItem* item = m_statsTable->item(row, col);
            if (!item) {
                item = new QTableWidgetItem;
                item->setTextAlignment(Qt::AlignVCenter | (col == 0 ? Qt::AlignLeft : Qt::AlignRight));
                m_statsTable->setItem(row, col, item);
            }
            if (item->text() != cells[col])
                item->setText(cells[col]);
        }
        m_statsTable->item(row, 0)->setToolTip(QStringLiteral("%1 (%2)").arg(cells[0]).arg(k));
        ++row;
    }
    m_statsTable->setRowCount(row);
}

void CommPage::LineStatsResetClick()
{
    if (m_link)
        m_link->engine().resetLineStats();
    showLineStats();
}

void CommPage::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    catchUpMemo();
    showLineStats();
    m_statsTimer->start();
}

void CommPage::hideEvent(QHideEvent* event)
{
    m_statsTimer->stop();
    QWidget::hideEvent(event);
}

void CommPage::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::LanguageChange)
        showLineStats();
    QWidget::changeEvent(event);
}

bool CommPage::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_commandBox &&
        (event->type() == QEvent::ShowToParent || event->type() == QEvent::HideToParent))
        m_statsBox->setVisible(m_commandBox->isHidden());
    return QWidget::eventFilter(watched, event);
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
    const QStringList lines = block.split(QStringLiteral("\r\n"));
    int drop = 0;
    if (m_monitor.size() >= kMaxMonitorLines) {
        // Remove just enough of the oldest lines to bring the count below the limit.
        drop = static_cast<int>(m_monitor.size()) - kMaxMonitorLines + 1;
        m_monitor.remove(0, drop);
    }
    m_monitor += lines;
    // A monitor nobody sees is brought up to date when it is shown: the traffic of a fast
    // refresh costs the other pages nothing.
    if (!m_memo->isVisible() || m_memoBehind) {
        m_memoBehind = true;
        if (m_memo->isVisible())
            catchUpMemo();
        return;
    }
    QScrollBar* bar = m_memo->verticalScrollBar();
    const bool atBottom = bar->value() == bar->maximum();
    // One edit block for the oldest lines out and the new ones in, and the cursor placed by
    // position only: the document is laid out once, and only what is on screen when painted.
    QTextDocument* doc = m_memo->document();
    QTextCursor c(doc);
    c.beginEditBlock();
    if (drop > 0) {
        const QTextBlock keep = doc->findBlockByNumber(drop);
        c.setPosition(0);
        c.setPosition(keep.isValid() ? keep.position() : doc->characterCount() - 1, QTextCursor::KeepAnchor);
        c.removeSelectedText();
    }
    c.setPosition(doc->characterCount() - 1);
    if (m_monitor.size() > lines.size())
        c.insertBlock();
    c.insertText(lines.join(QLatin1Char('\n')));
    c.endEditBlock();
    if (atBottom)
        bar->setValue(bar->maximum());
}

QString CommPage::monitorText() const
{
    return m_monitor.join(QLatin1Char('\n'));
}

void CommPage::catchUpMemo()
{
    if (!m_memoBehind)
        return;
    m_memoBehind = false;
    QScrollBar* bar = m_memo->verticalScrollBar();
    const bool atBottom = bar->value() == bar->maximum();
    const int value = bar->value();
    m_memo->setPlainText(monitorText());
    bar->setValue(atBottom ? bar->maximum() : value);
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
    connect(&link, &LinkDriver::portFailed, this, [this](const QString& name, const QString& reason) {
        m_prompts->showError(currentText("Message.PortOpenFailed").arg(name, reason));
    });
    // A network address is remembered once it has answered the connection.
    connect(&link, &LinkDriver::portStatusChanged, this, [this] {
        if (m_link->portStatus() == PortStatus::Up && isNetworkPortName(m_link->portName()))
            rememberNetworkAddress(m_link->portName());
        showLineStats();
    });
    connect(&logger, &DataLogger::failed, this, [this](const QString& reason) {
        setLogFailing(true);
        m_prompts->showError(currentText("Message.LogWriteFailed")
                                 .arg(QDir::toNativeSeparators(m_logger->fileName()), reason));
    });
    connect(&logger, &DataLogger::recovered, this, [this] { setLogFailing(false); });
    mirrorFlags();
    showLineStats();
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
    setPortEntries(portListEntries(systemSerialPorts(), recentNetworkAddresses()));
    QApplication::restoreOverrideCursor();
}

void CommPage::PortsboxSelect(int index)
{
    if (index <= 0)
        return;
    if (index == m_ports->count() - 1 && m_ports->itemText(index) == currentText("Portsbox.Network")) {
        const QString text =
            m_prompts->askText ? m_prompts->askText(currentText("Network.AskTitle"),
                                                    currentText("Network.AskLabel"), QStringLiteral("tcp://"))
                               : QString();
        m_ports->setCurrentIndex(0);
        if (text.trimmed().isEmpty())
            return;
        QString error;
        const std::optional<NetworkAddress> address = parseNetworkAddress(text.trimmed(), &error);
        if (!address) {
            m_prompts->showError(error);
            return;
        }
        selectPort(address->name());
    }
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
