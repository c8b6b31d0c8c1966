#include "app/TForm1.h"

#include "app/Flags.h"
#include "app/PortFactory.h"
#include "link/CommPage.h"
#include "link/LinkDriver.h"
#include "link/PortNames.h"
#include "platform/Lamp.h"
#include "texts/UiTexts.h"
#include "views/ErrorsPage.h"
#include "views/HarmonicsPage.h"
#include "views/MeasurementPage.h"
#include "views/PhasorPage.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QMessageBox>
#include <QTabWidget>
#include <QTimer>

namespace kvam {

namespace {

QLabel* boldCaption(const char* control, const QRect& geometry, QWidget* parent)
{
    auto* label = new QLabel(uiText(control), parent);
    label->setObjectName(QLatin1String(control) + QStringLiteral("Label"));
    QFont f = label->font();
    f.setBold(true);
    label->setFont(f);
    label->setGeometry(geometry);
    return label;
}

QColor lampColor(LampColor c)
{
    switch (c) {
    case LampColor::Green:
        return QColor(0, 255, 0);
    case LampColor::Red:
        return QColor(255, 0, 0);
    case LampColor::White:
        break;
    }
    return QColor(255, 255, 255);
}

} // namespace

QString TForm1::windowCaption()
{
    return uiText("Form1") + QString::asprintf("%20s%d", "version ", kProgramMajorVersion) +
           QStringLiteral("   Rev %1.").arg(QStringLiteral(KVAM_VERSION));
}

TForm1::TForm1(Options options, QWidget* parent) : QWidget(parent), m_options(options)
{
    setObjectName(QStringLiteral("Form1"));
    setFixedSize(795, 672);
    setWindowTitle(uiText("Form1"));

    showError = [this](const QString& text) {
        QMessageBox::warning(this, QApplication::applicationName(), text);
    };
    refuseDevice = [this](const QString& text) {
        QMessageBox::critical(this, QApplication::applicationName(), text);
        QCoreApplication::exit(1);
    };

    m_model = new DeviceModel(this);
    m_link = new LinkDriver(*m_model, m_model->memory(), portFactory(m_options.demoPacing), this);
    m_model->attach(m_link->engine());

    boldCaption("TxLed", QRect(22, 6, 20, 16), this);
    m_txLed = new Lamp(Lamp::Shape::RoundRect, Qt::white, this);
    m_txLed->setObjectName(QStringLiteral("TxLed"));
    m_txLed->setGeometry(44, 8, 20, 12);
    boldCaption("RxLed", QRect(90, 6, 20, 16), this);
    m_rxLed = new Lamp(Lamp::Shape::RoundRect, Qt::white, this);
    m_rxLed->setObjectName(QStringLiteral("RxLed"));
    m_rxLed->setGeometry(112, 8, 20, 12);

    m_imageMagyar = new QLabel(this);
    m_imageMagyar->setObjectName(QStringLiteral("ImageMagyar"));
    m_imageMagyar->setGeometry(696, 4, 32, 20);
    m_imageMagyar->setPixmap(hungarianFlag(32, 20));
    m_imageAngol = new QLabel(this);
    m_imageAngol->setObjectName(QStringLiteral("ImageAngol"));
    m_imageAngol->setGeometry(740, 4, 32, 20);
    m_imageAngol->setPixmap(englishFlag(32, 20));

    buildPages();

    // The data logger's one-second tick; it starts with logging.
    m_logTimer = new QTimer(this);
    m_logTimer->setObjectName(QStringLiteral("LogTimer"));
    m_logTimer->setInterval(1000);

    connectPages();
    FormCreate();
    connect(m_pages, &QTabWidget::currentChanged, this, &TForm1::CoolPageControl1Change);
}

TForm1::~TForm1() = default;

void TForm1::buildPages()
{
    m_pages = new QTabWidget(this);
    m_pages->setObjectName(QStringLiteral("CoolPageControl1"));
    m_pages->setGeometry(8, 28, 769, 601);
    m_meres = new MeasurementPage(m_pages);
    m_harmonics = new HarmonicsPage(m_pages);
    m_phasor = new PhasorPage(m_pages);
    m_errors = new ErrorsPage(m_pages);
    m_comm = new CommPage(m_pages);
    const QList<QWidget*> built{m_meres, m_harmonics, m_phasor, m_errors, m_comm};
    for (const MainPage& page : mainPages()) {
        const QString name = QLatin1String(page.objectName);
        QWidget* widget = nullptr;
        for (QWidget* w : built)
            if (w->objectName() == name)
                widget = w;
        if (!widget) {
            // The protected pages are filled by their own pages as they come.
            widget = new QWidget(m_pages);
            widget->setObjectName(name);
        }
        m_pages->addTab(widget, uiText(page.objectName));
    }
}

void TForm1::connectPages()
{
    connect(m_link, &LinkDriver::monitorText, m_comm, &CommPage::DisplayCom);
    connect(m_link, &LinkDriver::txLampChanged, m_txLed,
            [this](LampColor c) { m_txLed->setColor(lampColor(c)); });
    connect(m_link, &LinkDriver::rxLampChanged, m_rxLed,
            [this](LampColor c) { m_rxLed->setColor(lampColor(c)); });
    connect(m_link, &LinkDriver::flagsUpdated, this, &TForm1::mirrorFlags);
    connect(m_comm, &CommPage::PortsboxDropDown, this, &TForm1::PortsboxDropDown);
    connect(m_comm, &CommPage::PortsboxSelect, this, &TForm1::PortsboxSelect);
    connect(m_comm, &CommPage::SendbuttonClick, m_link, &LinkDriver::SendbuttonClick);
    connect(m_comm, &CommPage::ScanClick, m_link, &LinkDriver::ScanClick);

    DeviceModel* model = m_model;
    connect(model, &DeviceModel::stateChanged, m_meres, &MeasurementPage::showState);
    connect(model, &DeviceModel::stateChanged, m_errors, &ErrorsPage::showState);
    connect(model, &DeviceModel::netChanged, m_meres, &MeasurementPage::showNet);
    connect(model, &DeviceModel::netChanged, m_phasor,
            [this](const NetRecord& net) { m_phasor->showNet(net, m_model->caldata()); });
    connect(model, &DeviceModel::ram1Changed, m_meres, [this] { m_meres->showRam1(m_model->memory().ram1); });
    connect(model, &DeviceModel::ram2Changed, m_meres,
            [this] { m_meres->showArrangement(m_model->memory().ram2); });
    connect(model, &DeviceModel::epChanged, m_meres, &MeasurementPage::showEp);
    connect(model, &DeviceModel::versionChanged, m_meres, &MeasurementPage::showVersion);
    connect(model, &DeviceModel::harmonicsChanged, m_harmonics, &HarmonicsPage::showHarmonics);
    connect(model, &DeviceModel::unsupportedDevice, this, [this](const QString& text) {
        // Polling stops at once; the message waits until the receive event has finished, so the
        // link is idle under the message box.
        m_link->stopPolling();
        QTimer::singleShot(0, this, [this, text] { refuseDevice(text); });
    });

    connect(m_harmonics, &HarmonicsPage::channelChanged, model, &DeviceModel::setHarmonicsChannel);
    connect(m_meres, &MeasurementPage::testOutputsClicked, model, &DeviceModel::setDigout);
}

LinkEngine& TForm1::engine()
{
    return m_link->engine();
}

void TForm1::FormCreate()
{
    setWindowTitle(windowCaption());
    m_model->startUp();
    m_pages->setCurrentWidget(m_comm);
    for (int i = 0; i < kMainPageCount; ++i)
        m_pages->setTabVisible(i, mainPages()[static_cast<std::size_t>(i)].access == Access::Everyone);
    mirrorFlags();
}

void TForm1::closeEvent(QCloseEvent* event)
{
    FormClose();
    QWidget::closeEvent(event);
}

void TForm1::FormClose()
{
    m_link->closePort();
}

void TForm1::mirrorFlags()
{
    std::array<bool, 17> flags{};
    for (int k = 1; k <= kCommandCount; ++k)
        flags[static_cast<std::size_t>(k)] = engine().flag(k);
    m_comm->showFlags(flags);
}

void TForm1::CoolPageControl1Change(int index)
{
    if (index >= 0 && index < kMainPageCount)
        engine().CoolPageControl1Change(mainPages()[static_cast<std::size_t>(index)].polls);
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
    return false;
}

void TForm1::PortsboxDropDown()
{
    m_link->closePort();
    GetComPorts();
}

void TForm1::GetComPorts()
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    m_comm->setPortEntries(portListEntries(systemSerialPorts()));
    QApplication::restoreOverrideCursor();
}

void TForm1::PortsboxSelect(int index)
{
    if (index > 0)
        InitComPort1();
}

void TForm1::InitComPort1()
{
    const QString name = m_comm->selectedPort();
    if (const auto error = m_link->openPort(name))
        showError(tr("The port %1 cannot be opened:\n%2").arg(name, *error));
}

void TForm1::openPortByName(const QString& name)
{
    m_comm->selectPort(name);
    InitComPort1();
}

} // namespace kvam
