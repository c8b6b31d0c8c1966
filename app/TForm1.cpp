#include "TForm1.h"

#include "CommPage.h"
#include "ErrorsPage.h"
#include "Flags.h"
#include "HarmonicsPage.h"
#include "Lamp.h"
#include "LinkDriver.h"
#include "MeasurementPage.h"
#include "PhasorPage.h"
#include "PortNames.h"
#include "QtSerialPortAdapter.h"
#include "VirtualMeterPort.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QMessageBox>
#include <QTabWidget>
#include <QTimer>

namespace kvam {

namespace {

const char kBaseCaption[] = " KVAM2100 beállító program                  VELMAR";

QWidget* emptyPage(const char* name, QWidget* parent)
{
    auto* page = new QWidget(parent);
    page->setObjectName(QLatin1String(name));
    return page;
}

QLabel* boldCaption(const QString& text, const QRect& geometry, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    QFont f = label->font();
    f.setBold(true);
    label->setFont(f);
    label->setGeometry(geometry);
    return label;
}

} // namespace

QString TForm1::windowCaption()
{
    return QString::fromUtf8(kBaseCaption) + QString::asprintf("%20s%d", "version ", kProgramMajorVersion) +
           QStringLiteral("   Rev 3.2.4.");
}

TForm1::TForm1(Options options, QWidget* parent) : QWidget(parent), m_options(options)
{
    setObjectName(QStringLiteral("Form1"));
    setFixedSize(795, 672);
    setWindowTitle(QString::fromUtf8(kBaseCaption));

    showError = [this](const QString& text) { QMessageBox::warning(this, QApplication::applicationName(), text); };
    refuseDevice = [this](const QString& text) {
        QMessageBox::critical(this, QApplication::applicationName(), text);
        QCoreApplication::exit(1);
    };

    const bool pacing = m_options.demoPacing;
    m_link = new LinkDriver(*this, m_memory, [pacing](const QString& name) -> std::unique_ptr<SerialPort> {
        if (name == QLatin1String(kDemoPort))
            return std::make_unique<VirtualMeterPort>(pacing);
        return std::make_unique<QtSerialPortAdapter>();
    }, this);

    boldCaption(QStringLiteral("TX"), QRect(22, 6, 20, 16), this);
    m_txLed = new Lamp(Lamp::Shape::RoundRect, Qt::white, this);
    m_txLed->setObjectName(QStringLiteral("TxLed"));
    m_txLed->setGeometry(44, 8, 20, 12);
    boldCaption(QStringLiteral("RX"), QRect(90, 6, 20, 16), this);
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

    m_pages = new QTabWidget(this);
    m_pages->setObjectName(QStringLiteral("CoolPageControl1"));
    m_pages->setGeometry(8, 28, 769, 601);
    m_calibPage = emptyPage("TabSheet_Calib", m_pages);
    m_factoryPage = emptyPage("TabSheet_FactorySettings", m_pages);
    m_configPage = emptyPage("TabSheet_Config", m_pages);
    m_meres = new MeasurementPage(m_pages);
    m_harmonics = new HarmonicsPage(m_pages);
    m_phasor = new PhasorPage(m_pages);
    m_errors = new ErrorsPage(m_pages);
    m_comm = new CommPage(m_pages);
    // Tab order follows the Page enumeration.
    m_pages->addTab(m_calibPage, QStringLiteral("Kalibrálás"));
    m_pages->addTab(m_factoryPage, QStringLiteral("Gyári beállítások"));
    m_pages->addTab(m_configPage, QStringLiteral("Konfiguráció"));
    m_pages->addTab(m_meres, QStringLiteral("Mért értékek"));
    m_pages->addTab(m_harmonics, QStringLiteral("Harmonikusok"));
    m_pages->addTab(m_phasor, QStringLiteral("Phasor"));
    m_pages->addTab(m_errors, QStringLiteral("Hibajelzések"));
    m_pages->addTab(m_comm, QStringLiteral("Kommunikáció"));

    m_logTimer = new QTimer(this);
    m_logTimer->setObjectName(QStringLiteral("LogTimer"));
    m_logTimer->setInterval(1000);

    connect(m_link, &LinkDriver::monitorText, m_comm, &CommPage::DisplayCom);
    connect(m_link, &LinkDriver::txLampChanged, m_txLed, &Lamp::setColor);
    connect(m_link, &LinkDriver::rxLampChanged, m_rxLed, &Lamp::setColor);
    connect(m_link, &LinkDriver::flagsUpdated, this, &TForm1::mirrorFlags);
    connect(m_comm, &CommPage::PortsboxDropDown, this, &TForm1::PortsboxDropDown);
    connect(m_comm, &CommPage::PortsboxSelect, this, &TForm1::PortsboxSelect);
    connect(m_comm, &CommPage::SendbuttonClick, this, [this] { engine().SendbuttonClick(); });
    connect(m_comm, &CommPage::ScanClick, this, [this](bool checked) {
        engine().ScanClick(checked);
        m_link->commTimer().start();
    });

    FormCreate();
    connect(m_pages, &QTabWidget::currentChanged, this, &TForm1::CoolPageControl1Change);
}

TForm1::~TForm1() = default;

LinkEngine& TForm1::engine()
{
    return m_link->engine();
}

void TForm1::FormCreate()
{
    setWindowTitle(windowCaption());
    auto& s = engine().state();
    s.RxIndex = 0;
    s.FrameComplete = false;
    s.SettingsLoaded = false;
    engine().setFlag(Read_RAM2, true);
    engine().setFlag(Read_RAM3, true);
    engine().setFlag(Read_Version, true);
    m_pages->setCurrentWidget(m_comm);
    m_pages->setTabVisible(0, false);
    m_pages->setTabVisible(1, false);
    m_pages->setTabVisible(2, false);
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
    if (index >= 0)
        engine().CoolPageControl1Change(static_cast<Page>(index));
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

void TForm1::Display_State(const std::uint8_t* payload)
{
    m_state.copyFrom(payload);
    m_meres->showState(m_state);
    m_errors->showState(m_state);
}

void TForm1::Display_Net(const std::uint8_t* payload)
{
    m_net.copyFrom(payload);
    // A failure part-way leaves the fields written so far; nothing is reported.
    try {
        m_meres->showNet(m_net);
        m_phasorInput = makePhasorInput(m_net, m_caldata, m_phasor->zoomU(), m_phasor->zoomI());
        m_phasor->redraw(m_phasorInput);
    } catch (...) {
    }
}

void TForm1::Display_RAM1(const std::uint8_t* payload)
{
    m_memory.ram1.copyFrom(payload);
}

void TForm1::Display_RAM2()
{
    // Arrangement codes 0..4 are three-phase; 5 is single-phase and shows only the L1 column.
    m_meres->setThreePhaseColumnsVisible(get(m_memory.ram2, ram2::Elrendezes) <= 4);
}

void TForm1::Display_RAM3(const std::uint8_t* payload)
{
    m_memory.ram3.copyFrom(payload);
}

void TForm1::Display_Caldat(const std::uint8_t* payload)
{
    m_caldata.copyFrom(payload);
}

void TForm1::Display_EPdata(const std::uint8_t* payload)
{
    m_ep.copyFrom(payload);
    m_meres->showEp(m_ep);
}

void TForm1::Display_Version(const std::uint8_t* payload)
{
    m_version.copyFrom(payload);
    m_meres->showVersion(m_version);
    if (versionSupported(m_version))
        return;
    m_link->commTimer().stop();
    m_link->timeoutTimer().stop();
    // Shown once the receive event has finished, so the link is idle under the message box.
    const QString text = unsupportedVersionMessage(m_version);
    QTimer::singleShot(0, this, [this, text] { refuseDevice(text); });
}

void TForm1::Display_Harmonics(const std::uint8_t* payload)
{
    HarmonicsRecord record;
    record.copyFrom(payload);
    m_harmonics->showHarmonics(record);
}

bool TForm1::factorySettingsPageActive() const
{
    return m_pages->currentWidget() == m_factoryPage;
}

std::uint8_t TForm1::GetHarmChannel() const
{
    return static_cast<std::uint8_t>(m_harmonics->GetHarmChannel());
}

} // namespace kvam
