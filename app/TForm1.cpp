#include "app/TForm1.h"

#include "app/AccessLevel.h"
#include "app/Flags.h"
#include "app/PortFactory.h"
#include "app/TPasswordForm.h"
#include "app/TSectionForm.h"
#include "app/UserPasswordStore.h"
#include "config/ConfigPage.h"
#include "config/FactoryPage.h"
#include "config/RecordFile.h"
#include "config/SettingsFile.h"
#include "link/CommPage.h"
#include "link/LinkDriver.h"
#include "link/PortNames.h"
#include "platform/Lamp.h"
#include "platform/LanguageSwitch.h"
#include "platform/NumericSpin.h"
#include "service/CalibPage.h"
#include "service/DataLogger.h"
#include "texts/UiTexts.h"
#include "views/ErrorsPage.h"
#include "views/HarmonicsPage.h"
#include "views/MeasurementPage.h"
#include "views/PhasorPage.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
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

    showFileError = [this](const QString& text, const QString& reason) {
        QMessageBox box(QMessageBox::Critical, QApplication::applicationName(), text, QMessageBox::Ok, this);
        box.setInformativeText(reason);
        box.exec();
    };
    runDialog = [](QDialog& dialog) { return dialog.exec() == QDialog::Accepted; };
    chooseFile = [this](const FileRequest& r) {
        QFileDialog dialog(this, r.title, r.folder, r.filter);
        dialog.setAcceptMode(r.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
        dialog.setFileMode(r.save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
        dialog.setDefaultSuffix(r.defaultSuffix);
        dialog.setOption(QFileDialog::DontConfirmOverwrite, !r.confirmOverwrite);
        return dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()
                   ? dialog.selectedFiles().first()
                   : QString();
    };
    m_settingsDir = QDir::currentPath();
    m_logDir = m_settingsDir;

    m_model = new DeviceModel(this);
    m_link = new LinkDriver(*m_model, m_model->memory(),
                            portFactory(m_options.demoPacing, m_options.demoMeter), this);
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
    for (QLabel* flag : {m_imageMagyar, m_imageAngol}) {
        flag->setCursor(Qt::PointingHandCursor);
        flag->installEventFilter(this);
    }

    buildPages();

    // The data logger's one-second tick; it starts with logging.
    m_logger = new DataLogger(this);
    m_logger->setSource([this] { return m_netShown ? &m_model->net() : nullptr; });

    m_passwordForm = new TPasswordForm(this);
    m_sectionForm = new TSectionForm(this);

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
    // All eight tabs stand in one row, as in service mode the window shows them all.
    m_pages->setStyleSheet(QStringLiteral("QTabBar::tab { padding: 4px 7px; }"));
    m_meres = new MeasurementPage(m_pages);
    m_harmonics = new HarmonicsPage(m_pages);
    m_phasor = new PhasorPage(m_pages);
    m_errors = new ErrorsPage(m_pages);
    m_comm = new CommPage(m_pages);
    m_config = new ConfigPage(m_pages);
    m_factory = new FactoryPage(m_pages);
    m_calib = new CalibPage(m_pages);
    const QList<QWidget*> built{m_meres, m_harmonics, m_phasor,  m_errors,
                                m_comm,  m_config,    m_factory, m_calib};
    for (const MainPage& page : mainPages()) {
        const QString name = QLatin1String(page.objectName);
        QWidget* widget = nullptr;
        for (QWidget* w : built)
            if (w->objectName() == name)
                widget = w;
        Q_ASSERT_X(widget, "TForm1::buildPages", page.objectName);
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
    connect(m_comm, &CommPage::LogbuttonClick, this, &TForm1::LogbuttonClick);
    connect(m_logger, &DataLogger::failed, this, [this](const QString& reason) {
        m_comm->setLogFailing(true);
        showError(tr("The log file %1 cannot be written:\n%2\nLogging goes on.")
                      .arg(QDir::toNativeSeparators(m_logger->fileName()), reason));
    });
    connect(m_logger, &DataLogger::recovered, this, [this] { m_comm->setLogFailing(false); });

    DeviceModel* model = m_model;
    connect(model, &DeviceModel::stateChanged, m_meres, &MeasurementPage::showState);
    connect(model, &DeviceModel::stateChanged, m_errors, &ErrorsPage::showState);
    connect(model, &DeviceModel::netChanged, m_meres, &MeasurementPage::showNet);
    connect(model, &DeviceModel::netChanged, this, [this] { m_netShown = true; });
    connect(model, &DeviceModel::netChanged, m_phasor,
            [this](const NetRecord& net) { m_phasor->showNet(net, m_model->caldata()); });
    connect(model, &DeviceModel::ram1Changed, m_meres, &MeasurementPage::showRam1);
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

    connect(model, &DeviceModel::ram2Changed, m_config,
            [this] { m_config->Display_RAM2(m_model->memory().ram2); });
    connect(model, &DeviceModel::ram3Changed, m_factory, [this] {
        m_factory->Display_RAM3(m_model->memory().ram3);
        m_calib->Display_RAM3(m_model->memory().ram3);
    });
    connect(model, &DeviceModel::caldataChanged, m_calib,
            [this](const CaldataRecord& cal) { m_calib->Display_Caldat(cal, m_model->memory().ram3); });
    connect(m_calib, &CalibPage::daCalCodeChanged, model, &DeviceModel::setDaCalCode);
    connect(m_calib, &CalibPage::setNominalClicked, model, &DeviceModel::calibrateNominal);
    connect(m_calib, &CalibPage::setOffsetClicked, model, &DeviceModel::calibrateOffset);
    connect(m_calib, &CalibPage::clearOffsetClicked, model, &DeviceModel::clearOffset);
    connect(m_calib, &CalibPage::readRamClicked, this, &TForm1::ReadRamClick);
    connect(m_calib, &CalibPage::writeRamClicked, this, &TForm1::WriteRamClick);
    connect(m_errors, &ErrorsPage::clearErrorsRequested, model, [model] { model->requestService(2); });
    connect(model, &DeviceModel::recordsHeldChanged, this, &TForm1::updateWriteButtons);
    connect(m_factory, &FactoryPage::modul1Selected, m_config, &ConfigPage::Modul1boxSelect);
    connect(m_factory, &FactoryPage::modul2Selected, m_config, &ConfigPage::Modul2boxSelect);
    connect(m_config, &ConfigPage::arrangementSelected, m_meres,
            [this](int index) { m_meres->setThreePhaseColumnsVisible(index <= 4); });
    connect(m_config, &ConfigPage::readRamClicked, this, &TForm1::ReadRamClick);
    connect(m_factory, &FactoryPage::readRamClicked, this, &TForm1::ReadRamClick);
    connect(m_config, &ConfigPage::writeRamClicked, this, &TForm1::WriteRamClick);
    connect(m_factory, &FactoryPage::writeRamClicked, this, &TForm1::WriteRamClick);
    connect(m_config, &ConfigPage::userDefaultClicked, model, [model] { model->requestService(4); });
    connect(m_factory, &FactoryPage::velmarDefaultClicked, model, [model] { model->requestService(1); });
    connect(m_config, &ConfigPage::clearEnergyClicked, this, &TForm1::ClearEnergybuttonClick);
    connect(m_meres->passwButton(), &QPushButton::clicked, this,
            [this] { PasswbuttonClick(m_meres->passwButton()); });
    connect(m_config, &ConfigPage::kilepesClicked, this, [this] { PasswbuttonClick(nullptr); });
    connect(m_config, &ConfigPage::newPasswordChanged, this, &TForm1::NewPasswordValueChanged);
    connect(m_config, &ConfigPage::saveRecordClicked, this, &TForm1::ButtonSaveRecordClick);
    connect(m_config, &ConfigPage::readRecordClicked, this, &TForm1::ButtonReadRecordClick);
    connect(m_factory, &FactoryPage::saveSettingsClicked, this, &TForm1::SaveSettingsButtonClick);
    connect(m_factory, &FactoryPage::readSettingsClicked, this, &TForm1::ReadSettingsButtonClick);
    // The analog test value goes out as the edit holds it when the request is sent.
    model->setDaTestSource([this] { return static_cast<float>(m_config->antestValue()->value()); });
    connect(m_config, &ConfigPage::antestClicked, model, &DeviceModel::requestDaTest);

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
    ReadRegistry();
    m_pages->setCurrentWidget(m_comm);
    for (int i = 0; i < kMainPageCount; ++i)
        m_pages->setTabVisible(i, mainPages()[static_cast<std::size_t>(i)].access == Access::Everyone);
    mirrorFlags();
    updateWriteButtons();
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
    // Leaving the calibration page ends the analog output sequence.
    if (m_activePage != index && m_activePage >= 0 && m_pages->widget(m_activePage) == m_calib)
        m_calib->TabSheet_CalibExit();
    m_activePage = index;
    if (index >= 0 && index < kMainPageCount)
        engine().CoolPageControl1Change(mainPages()[static_cast<std::size_t>(index)].polls);
}

void TForm1::evaluatePassword(int entered)
{
    const AccessLevel level = evaluateAccess(entered, m_userPassword);
    for (int i = 0; i < kMainPageCount; ++i)
        m_pages->setTabVisible(i, level.allows(mainPages()[static_cast<std::size_t>(i)].access));
    m_comm->setServiceMode(level.factory);
    if (level.user)
        m_pages->setCurrentWidget(m_config);
    CoolPageControl1Change(m_pages->currentIndex());
}

void TForm1::PasswbuttonClick(QObject* sender)
{
    m_passwordForm->placeOver(this);
    m_passwordForm->setEntered(kNoEntry);
    int entered = kNoEntry;
    if (sender == m_meres->passwButton()) {
        runDialog(*m_passwordForm);
        entered = m_passwordForm->entered();
    }
    evaluatePassword(entered);
}

void TForm1::ReadRegistry()
{
    const UserPasswordStore::ReadResult r = UserPasswordStore().read();
    m_userPassword = r.password;
    m_config->showNewPassword(m_userPassword);
    if (!r.error.isEmpty())
        showError(r.error);
}

void TForm1::WriteRegistry()
{
    // A store that cannot be written leaves the password for this run only, without a message.
    UserPasswordStore().write(m_userPassword);
}

void TForm1::NewPasswordValueChanged(int password)
{
    m_userPassword = password;
    WriteRegistry();
}

QString TForm1::settingsFile() const
{
    return QDir(m_settingsDir).filePath(QStringLiteral("settings.ini"));
}

void TForm1::SaveSettingsButtonClick()
{
    SaveRamSettings();
}

void TForm1::SaveRamSettings()
{
    if (!m_model->configWritable()) {
        showFileError(tr("Save error"),
                      tr("There is no configuration to save yet: read it from the meter or load it first."));
        return;
    }
    QString reason;
    if (!saveSettings(settingsFile(), m_factory->factoryNumberText(), m_model->memory().ram2,
                      m_model->memory().ram3, QLocale(), &reason))
        showFileError(tr("Save error"), reason);
}

void TForm1::ReadSettingsButtonClick()
{
    QString reason;
    const QStringList sections = settingsSections(settingsFile(), &reason);
    if (!reason.isEmpty()) {
        showFileError(tr("Open error"), reason);
        return;
    }
    if (sections.isEmpty()) {
        showFileError(tr("Open error"),
                      tr("%1 holds no settings section.").arg(QDir::toNativeSeparators(settingsFile())));
        return;
    }
    m_sectionForm->setSections(sections);
    m_sectionForm->placeFor(this);
    if (runDialog(*m_sectionForm) && LoadRamSettings(m_sectionForm->selectedSection()))
        m_model->settingsLoaded();
}

bool TForm1::LoadRamSettings(const QString& section)
{
    // Into copies first: a section that cannot be read changes neither image.
    Ram2Image ram2 = m_model->memory().ram2;
    Ram3Image ram3 = m_model->memory().ram3;
    QString reason;
    if (!loadSettings(settingsFile(), section, ram2, ram3, QLocale(), &reason)) {
        showFileError(tr("Open error"), reason);
        return false;
    }
    m_model->memory().ram2 = ram2;
    m_model->memory().ram3 = ram3;
    return true;
}

void TForm1::ButtonSaveRecordClick()
{
    m_config->Ram2refresh(m_model->memory().ram2);
    const QString file =
        chooseFile({true, QStringLiteral(" Save user config"), QStringLiteral("Config files (*.user)"),
                    QStringLiteral("user"), m_settingsDir});
    if (file.isEmpty())
        return;
    QString reason;
    if (!saveRecordFile(file, m_model->memory().ram2, &reason))
        showFileError(tr("Save error"), reason);
}

void TForm1::ButtonReadRecordClick()
{
    const QString file =
        chooseFile({false, QStringLiteral(" Open user config"), QStringLiteral("Config files (*.user)"),
                    QStringLiteral("user"), m_settingsDir});
    if (file.isEmpty())
        return;
    QString reason;
    if (!loadRecordFile(file, m_model->memory().ram2, &reason)) {
        showFileError(tr("Open error"), reason);
        return;
    }
    m_model->ram2Loaded();
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
}

void TForm1::switchToEnglish()
{
    ImageAngolClick(m_imageAngol);
}

void TForm1::LogbuttonClick()
{
    if (m_comm->logButtonCaption() != QLatin1String("Log to file:")) {
        m_logger->stop();
        m_comm->setLogButtonCaption(QStringLiteral("Log to file:"));
        return;
    }
    FileRequest request{true,
                        QStringLiteral(" Select log file"),
                        QStringLiteral("Text files (*.txt)"),
                        QString(),
                        QDir(m_logDir).filePath(m_comm->logFileName()),
                        false};
    const QString chosen = chooseFile(request);
    if (chosen.isEmpty() || !m_logger->start(chosen))
        return;
    m_logDir = QFileInfo(chosen).absolutePath();
    m_comm->setLogFileName(QFileInfo(m_logger->fileName()).fileName());
    m_comm->setLogButtonCaption(QStringLiteral("Stop log"));
}

void TForm1::ReadRamClick()
{
    m_model->readRam();
}

void TForm1::WriteRamClick()
{
    // The buttons are disabled until both images hold records; a click that still gets here
    // packs nothing and writes nothing.
    if (!m_model->configWritable())
        return;
    m_config->Ram2refresh(m_model->memory().ram2);
    m_factory->Ram3refresh(m_model->memory().ram3);
    m_calib->Ram3refresh(m_model->memory().ram3);
    m_model->writeConfig();
}

void TForm1::ClearEnergybuttonClick()
{
    m_model->clearEnergy();
}

void TForm1::updateWriteButtons()
{
    const QString noRecords = tr("Read the configuration from the meter or load it from a file first.");
    m_config->setWriteEnabled(m_model->configWritable(), noRecords);
    m_factory->setWriteEnabled(m_model->configWritable(), noRecords);
    m_calib->setWriteEnabled(m_model->configWritable(), noRecords);
    m_calib->setRam3Held(m_model->ram3Held(),
                         tr("Read the calibration record from the meter or load it first."));
    m_config->setClearEnergyEnabled(m_model->ram1Held(),
                                    tr("Read the energy counters from the meter first."));
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
    QTabWidget* inner = m_config->innerPages();
    for (int i = 0; i < inner->count(); ++i) {
        if (inner->widget(i)->objectName() == objectName && activatePage(m_config->objectName())) {
            inner->setCurrentIndex(i);
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
