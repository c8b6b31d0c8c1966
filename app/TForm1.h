#pragma once

#include "app/MainPages.h"
#include "device/DeviceModel.h"
#include "link/LinkEngine.h"
#include "meter/VirtualMeter.h"

#include <QDialog>
#include <QWidget>

#include <functional>
#include <optional>

class QLabel;
class QTabWidget;
class QTimer;

namespace kvam {

class CommPage;
class TPasswordForm;
class TSectionForm;
class CalibPage;
class DataLogger;
class ConfigPage;
class FactoryPage;
class ErrorsPage;
class HarmonicsPage;
class Lamp;
class LinkDriver;
class MeasurementPage;
class PhasorPage;

/// The main window: a thin shell. It builds the pages from the page table, connects them to the
/// device model, and hands port choices to the link.
class TForm1 : public QWidget
{
    Q_OBJECT
public:
    struct Options
    {
        bool demoPacing = true; ///< the in-process meter behind "DEMO" keeps the line's pace
        /// How the meter behind "DEMO" is built (faults, identity); by default a configured meter.
        std::optional<VirtualMeterConfig> demoMeter;

        Options() = default;
        Options(bool pacing, std::optional<VirtualMeterConfig> meter = std::nullopt)
            : demoPacing(pacing), demoMeter(std::move(meter))
        {
        }
    };

    static constexpr int kProgramMajorVersion = 3; ///< the "version" figure of the caption

    explicit TForm1(QWidget* parent = nullptr) : TForm1(Options{}, parent) {}
    explicit TForm1(Options options, QWidget* parent = nullptr);
    ~TForm1() override;

    /// The window caption after start-up: the base caption, the version text and the revision.
    static QString windowCaption();

    LinkDriver& link() { return *m_link; }
    ConfigPage& configPage() { return *m_config; }
    CalibPage& calibPage() { return *m_calib; }
    FactoryPage& factoryPage() { return *m_factory; }
    LinkEngine& engine();
    DeviceModel& model() { return *m_model; }
    DeviceMemory& memory() { return m_model->memory(); }

    /// Opens NAME as if the user had picked it in the port list (added to the list when missing).
    void openPortByName(const QString& name);
    /// Makes the visible page with that objectName active as a click on its tab would. False when
    /// there is no such visible page.
    bool activatePage(const QString& objectName);

    /// How errors and the version refusal reach the user; tests replace them.
    std::function<void(const QString&)> showError;
    std::function<void(const QString&)> refuseDevice;
    /// A file failure: `text` is "Save error" or "Open error", `reason` what the system said.
    std::function<void(const QString& text, const QString& reason)> showFileError;
    /// Shows a modal dialog and tells whether it was accepted; tests answer for the user.
    std::function<bool(QDialog&)> runDialog;
    /// A file dialog: the chosen file, or an empty text when cancelled.
    struct FileRequest
    {
        bool save = false;
        QString title;
        QString filter;
        QString defaultSuffix;
        QString folder; ///< the folder, or the file proposed in it
        bool confirmOverwrite = true;
    };
    std::function<QString(const FileRequest&)> chooseFile;

    /// The folder of the settings file and of the record-file dialogs (the working folder at start).
    QString settingsDir() const { return m_settingsDir; }
    void setSettingsDir(const QString& dir) { m_settingsDir = dir; }
    QString settingsFile() const;
    int userPassword() const { return m_userPassword; }
    TPasswordForm& passwordForm() { return *m_passwordForm; }
    TSectionForm& sectionForm() { return *m_sectionForm; }

    // Handlers of the window's controls.
    /// Steps of the password button after the dialog: the entered number decides which pages
    /// and command controls are shown; the configuration page becomes active when shown.
    void evaluatePassword(int entered);
    /// "Beállítások" asks for the password; "Kilépés" evaluates -1.
    void PasswbuttonClick(QObject* sender);
    void ReadRegistry();
    void WriteRegistry();
    void NewPasswordValueChanged(int password);
    void SaveSettingsButtonClick();
    void ReadSettingsButtonClick();
    /// Writes every RAM2 key, then every RAM3 key, of both images into the section named by
    /// Factorynum; the other sections of the file stay as they are.
    void SaveRamSettings();
    /// Loads every RAM2 and RAM3 key of `section` into the images; false (and nothing changed)
    /// when the section cannot be read.
    bool LoadRamSettings(const QString& section);
    void ButtonSaveRecordClick();
    void ButtonReadRecordClick();
    /// A click on a flag: the texts of all three windows switch to that flag's language.
    void ImageAngolClick(QObject* sender);
    void switchToEnglish();
    /// Starts logging to a chosen file, or stops it.
    void LogbuttonClick();
    DataLogger& logger() { return *m_logger; }
    void ReadRamClick();
    void WriteRamClick();
    void ClearEnergybuttonClick();
    void PortsboxDropDown();
    void PortsboxSelect(int index);
    void GetComPorts();
    void InitComPort1();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildPages();
    void connectPages();
    void FormCreate();
    void FormClose();
    void CoolPageControl1Change(int index);
    void mirrorFlags();
    void updateWriteButtons();

    Options m_options;
    DeviceModel* m_model = nullptr;
    LinkDriver* m_link = nullptr;
    Lamp* m_txLed = nullptr;
    Lamp* m_rxLed = nullptr;
    QLabel* m_imageMagyar = nullptr;
    QLabel* m_imageAngol = nullptr;
    QTabWidget* m_pages = nullptr;
    MeasurementPage* m_meres = nullptr;
    HarmonicsPage* m_harmonics = nullptr;
    PhasorPage* m_phasor = nullptr;
    ErrorsPage* m_errors = nullptr;
    CommPage* m_comm = nullptr;
    ConfigPage* m_config = nullptr;
    CalibPage* m_calib = nullptr;
    int m_activePage = -1;  ///< the page before a page change
    int m_userPassword = 0; ///< the stored user password (0 when none is stored)
    QString m_settingsDir;
    TPasswordForm* m_passwordForm = nullptr;
    TSectionForm* m_sectionForm = nullptr;
    FactoryPage* m_factory = nullptr;
    DataLogger* m_logger = nullptr;
    bool m_netShown = false; ///< a measurement record has arrived: the log has values to write
    QString m_logDir;
};

} // namespace kvam
