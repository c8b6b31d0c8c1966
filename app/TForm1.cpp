#include "app/TForm1.h"

#include "app/AccessLevel.h"
#include "app/Flags.h"
#include "app/MainPages.h"
#include "app/PortFactory.h"
#include "app/ReportAction.h"
#include "app/SafeWrites.h"
#include "app/TPasswordForm.h"
#include "config/ConfigFiles.h"
#include "config/ConfigPage.h"
#include "config/FactoryPage.h"
#include "config/TSectionForm.h"
#include "device/MeterRules.h"
#include "link/LinkDriver.h"
#include "log/DataLogger.h"
#include "measure/ViewRecords.h"
#include "platform/Lamp.h"
#include "platform/LanguageSwitch.h"
#include "platform/PageParts.h"
#include "service/CalibPage.h"
#include "service/CommPage.h"
#include "texts/UiTexts.h"
#include "views/MeasurementPage.h"

#include <QCloseEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>

namespace kvam {

namespace {

QColor lampColor(LampColor c)
{
    return c == LampColor::Green ? QColor(0, 255, 0)
           : c == LampColor::Red ? QColor(255, 0, 0)
                                 : QColor(255, 255, 255);
}

} // namespace

QString TForm1::windowCaption()
{
    return uiText("Form1") + QString::asprintf("%20s%d", "version ", kSupportedMajorVersion) +
           QStringLiteral("   Rev %1.").arg(QStringLiteral(KVAM_VERSION));
}

TForm1::TForm1(Options options, QWidget* parent) : QWidget(parent), m_options(options), m_prompts(this)
{
    setObjectName(QStringLiteral("Form1"));
    setFixedSize(795, 672);
    setWindowTitle(uiText("Form1"));

    // The pages' tab widget is the window's first child: a control name is found on the pages
    // before the dialogs' own controls of the same name (the section dialog has a Button1).
    m_pages = new QTabWidget(this);
    m_model = new DeviceModel(this);
    m_link = new LinkDriver(
        *m_model, m_options.ports ? m_options.ports : portFactory(m_options.demoPacing, m_options.demoMeter),
        this);
    m_model->attach(m_link->engine());
    m_logger = new DataLogger(this);
    m_logger->setSource([this] { return m_model->netHeld() ? &m_model->net() : nullptr; });
    m_passwordForm = new TPasswordForm(this);
    m_sectionForm = new TSectionForm(this);
    m_files = new ConfigFiles(*m_model, m_prompts, *m_sectionForm, this);
    m_safeWrites = new SafeWrites(*m_model, *m_link, m_prompts,
                                  std::make_unique<MeterHistory>(m_options.historyRoot.isEmpty()
                                                                     ? MeterHistory::defaultRoot()
                                                                     : m_options.historyRoot),
                                  m_options.review, this);

    m_txLed = makeCaptionedLamp(this, "TxLed", 22);
    m_rxLed = makeCaptionedLamp(this, "RxLed", 90);
    connect(m_link, &LinkDriver::txLampChanged, m_txLed,
            [this](LampColor c) { m_txLed->setColor(lampColor(c)); });
    connect(m_link, &LinkDriver::rxLampChanged, m_rxLed,
            [this](LampColor c) { m_rxLed->setColor(lampColor(c)); });
    // Beside the lamps while a network port connects or reconnects.
    m_linkState = new QLabel(this);
    m_linkState->setObjectName(QStringLiteral("LinkState"));
    m_linkState->setGeometry(140, 5, 240, 18);
    m_linkState->setStyleSheet(QStringLiteral("color: #c00000; font-weight: bold;"));
    m_linkState->hide();
    connect(m_link, &LinkDriver::portStatusChanged, this, &TForm1::showLinkState);

    m_imageMagyar = flagPicture(this, "ImageMagyar", 696, hungarianFlag(32, 20));
    m_imageAngol = flagPicture(this, "ImageAngol", 740, englishFlag(32, 20));
    m_imageMagyar->installEventFilter(this);
    m_imageAngol->installEventFilter(this);

    buildPages();
    connect(m_model, &DeviceModel::unsupportedDevice, this, &TForm1::refuse);
    QPushButton* passwButton = measurementPage().passwButton();
    connect(passwButton, &QPushButton::clicked, this, [this, passwButton] { PasswbuttonClick(passwButton); });
    connect(&configPage(), &ConfigPage::kilepesClicked, this, [this] { PasswbuttonClick(nullptr); });
    connect(&configPage(), &ConfigPage::restoreClicked, this, [this] { m_safeWrites->openRestore(this); });
    m_report = new ReportAction(*this);
    FormCreate();
    connect(m_pages, &QTabWidget::currentChanged, this, &TForm1::CoolPageControl1Change);
}

void TForm1::showLinkState()
{
    const PortStatus status = m_link->portStatus();
    const bool waiting = status == PortStatus::Connecting || status == PortStatus::Reconnecting;
    if (waiting)
        m_linkState->setText(
            currentText(status == PortStatus::Connecting ? "Link.Connecting" : "Link.Reconnecting"));
    m_linkState->setVisible(waiting);
}

void TForm1::buildPages()
{
    m_pages->setObjectName(QStringLiteral("CoolPageControl1"));
    m_pages->setGeometry(8, 28, 769, 601);
    // All nine tabs stand in one row, as in service mode the window shows them all. Set on the
    // tab bar alone: a style sheet on the page control would style (and slow) every page's paint.
    m_pages->tabBar()->setStyleSheet(QStringLiteral("QTabBar::tab { padding: 4px 7px; }"));
    PageContext context{*m_model, *m_link, *m_logger, *m_files, m_prompts};
    for (const MainPage& page : mainPages())
        m_pages->addTab(page.create(context, m_pages), uiText(page.objectName));
}

CommPage& TForm1::commPage() const
{
    return *findChild<CommPage*>(QStringLiteral("TabSheet_Comm"));
}
ConfigPage& TForm1::configPage() const
{
    return *findChild<ConfigPage*>(QStringLiteral("TabSheet_Config"));
}
FactoryPage& TForm1::factoryPage() const
{
    return *findChild<FactoryPage*>(QStringLiteral("TabSheet_FactorySettings"));
}
CalibPage& TForm1::calibPage() const
{
    return *findChild<CalibPage*>(QStringLiteral("TabSheet_Calib"));
}
MeasurementPage& TForm1::measurementPage() const
{
    return *findChild<MeasurementPage*>(QStringLiteral("TabSheet_Meres"));
}

void TForm1::FormCreate()
{
    setWindowTitle(windowCaption());
    m_model->startUp();
    m_pages->setCurrentWidget(&commPage());
    applyAccess(AccessLevel{});
}

void TForm1::closeEvent(QCloseEvent* event)
{
    m_link->closePort(); // FormClose
    m_model->finish();
    QWidget::closeEvent(event);
}

void TForm1::refuse(const VersionRecord& version)
{
    // Polling stops at once; the message waits for the receive event to end, so the link is idle.
    m_link->stopPolling();
    QTimer::singleShot(0, this,
                       [this, text = unsupportedVersionMessage(version)] { m_prompts.refuseDevice(text); });
}

void TForm1::CoolPageControl1Change(int index)
{
    if (m_activePage != index && m_activePage >= 0 && m_activePage < kMainPageCount) {
        const MainPage& left = mainPages()[static_cast<std::size_t>(m_activePage)];
        if (left.leave)
            left.leave(m_pages->widget(m_activePage));
    }
    m_activePage = index;
    if (index >= 0 && index < kMainPageCount)
        m_model->pageChanged(mainPages()[static_cast<std::size_t>(index)].polls);
}

void TForm1::applyAccess(const AccessLevel& level)
{
    for (int i = 0; i < kMainPageCount; ++i)
        m_pages->setTabVisible(i, level.allows(mainPages()[static_cast<std::size_t>(i)].access));
    for (const ProtectedControl& control : kProtectedControls)
        findChild<QWidget*>(QLatin1String(control.objectName))->setVisible(level.allows(control.access));
}

void TForm1::evaluatePassword(int entered)
{
    const AccessLevel level = evaluateAccess(entered, configPage().userPassword());
    applyAccess(level);
    if (level.user)
        m_pages->setCurrentWidget(&configPage());
    CoolPageControl1Change(m_pages->currentIndex());
}

void TForm1::PasswbuttonClick(QObject* sender)
{
    m_passwordForm->placeOver(this);
    m_passwordForm->setEntered(kNoEntry);
    int entered = kNoEntry;
    if (sender == measurementPage().passwButton()) {
        m_prompts.runDialog(*m_passwordForm);
        entered = m_passwordForm->entered();
    }
    evaluatePassword(entered);
}

bool TForm1::eventFilter(QObject* watched, QEvent* event)
{
    if ((watched == m_imageMagyar || watched == m_imageAngol) &&
        event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        ImageAngolClick(watched);
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void TForm1::ImageAngolClick(QObject* sender)
{
    if (sender == m_imageMagyar)
        applyLanguage({this}, Language::Hungarian);
    else if (sender == m_imageAngol)
        applyLanguage({this}, Language::English);
    showLinkState();
}

void TForm1::switchToEnglish()
{
    ImageAngolClick(m_imageAngol);
}

bool TForm1::activatePage(const QString& objectName)
{
    for (int i = 0; i < m_pages->count(); ++i) {
        if (m_pages->widget(i)->objectName() == objectName && m_pages->isTabVisible(i)) {
            if (m_pages->currentIndex() == i)
                CoolPageControl1Change(i);
            else
                m_pages->setCurrentIndex(i);
            return true;
        }
    }
    // An inner page of the configuration opens with its page.
    QTabWidget* inner = configPage().innerPages();
    for (int i = 0; i < inner->count(); ++i) {
        if (inner->widget(i)->objectName() == objectName && activatePage(configPage().objectName())) {
            inner->setCurrentIndex(i);
            return true;
        }
    }
    return false;
}

void TForm1::openPortByName(const QString& name)
{
    commPage().openPortByName(name);
}

} // namespace kvam
