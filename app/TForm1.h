#pragma once

#include "device/DeviceModel.h"
#include "link/LinkDriver.h"
#include "meter/VirtualMeter.h"
#include "platform/UserPrompts.h"

#include <QWidget>

#include <optional>

class QLabel;
class QTabWidget;

namespace kvam {

struct AccessLevel;
class CalibPage;
class CommPage;
class ConfigFiles;
class ConfigPage;
class DataLogger;
class FactoryPage;
class Lamp;
class SafeWrites;
class MeasurementPage;
class ReportAction;
class TPasswordForm;
class TSectionForm;

/// The main window: a thin shell. It makes the tabs from the page table (each page connects
/// itself), applies the access level and the language, and hands page changes to the model.
class TForm1 : public QWidget
{
    Q_OBJECT
public:
    struct Options
    {
        bool demoPacing = true; ///< the in-process meter behind the demo port keeps the line's pace
        /// How the demo meter is built (faults, identity); by default a configured meter.
        std::optional<VirtualMeterConfig> demoMeter;
        /// Every write is reviewed by the user before it goes (the program's start sets it unless
        /// `--no-review`; tests answer the review through the prompts when they set it).
        bool review = false;
        /// Where every meter's backups and journal are kept; empty: the user's data folder.
        QString historyRoot;
        /// When set, makes the port for every name in place of the demo meter and the serial
        /// ports (the fault soak's lines to several meters).
        LinkDriver::PortFactory ports;

        Options() = default;
        Options(bool pacing, std::optional<VirtualMeterConfig> meter = std::nullopt)
            : demoPacing(pacing), demoMeter(std::move(meter))
        {
        }
    };

    explicit TForm1(QWidget* parent = nullptr) : TForm1(Options{}, parent) {}
    explicit TForm1(Options options, QWidget* parent = nullptr);
    ~TForm1() override = default;

    /// The window caption after start-up: the base caption, the version text and the revision.
    static QString windowCaption();

    DeviceModel& model() { return *m_model; }
    const DeviceMemory& memory() const { return m_model->memory(); }
    LinkDriver& link() { return *m_link; }
    LinkEngine& engine() { return m_link->engine(); }
    DataLogger& logger() { return *m_logger; }
    ConfigFiles& configFiles() { return *m_files; }
    SafeWrites& safeWrites() { return *m_safeWrites; }
    /// The commissioning report: the measurement page's button and the report of a scripted start.
    ReportAction& report() { return *m_report; }
    /// How messages, dialogs and file choices reach the user; tests replace its members.
    UserPrompts& prompts() { return m_prompts; }
    TPasswordForm& passwordForm() { return *m_passwordForm; }
    TSectionForm& sectionForm() { return *m_sectionForm; }
    // The pages, by the page table's names.
    CommPage& commPage() const;
    ConfigPage& configPage() const;
    FactoryPage& factoryPage() const;
    CalibPage& calibPage() const;
    MeasurementPage& measurementPage() const;

    /// Opens NAME as if the user had picked it in the port list (added to the list when missing).
    void openPortByName(const QString& name);
    /// Makes the visible page with that objectName active as a click on its tab would. False when
    /// there is no such visible page.
    bool activatePage(const QString& objectName);

    // Handlers of the window's controls.
    /// Steps of the password button after the dialog: the entered number decides which pages
    /// and command controls are shown; the configuration page becomes active when shown.
    void evaluatePassword(int entered);
    /// "Beállítások" asks for the password; "Kilépés" evaluates -1.
    void PasswbuttonClick(QObject* sender);
    /// A click on a flag: the texts of all three windows switch to that flag's language.
    void ImageAngolClick(QObject* sender);
    void switchToEnglish();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildPages();
    void applyAccess(const AccessLevel& level);
    void FormCreate();
    void CoolPageControl1Change(int index);
    void refuse(const VersionRecord& version);
    void showLinkState();

    Options m_options;
    UserPrompts m_prompts;
    DeviceModel* m_model = nullptr;
    LinkDriver* m_link = nullptr;
    DataLogger* m_logger = nullptr;
    ConfigFiles* m_files = nullptr;
    SafeWrites* m_safeWrites = nullptr;
    ReportAction* m_report = nullptr;
    TPasswordForm* m_passwordForm = nullptr;
    TSectionForm* m_sectionForm = nullptr;
    Lamp* m_txLed = nullptr;
    Lamp* m_rxLed = nullptr;
    QLabel* m_linkState = nullptr; ///< "reconnecting…" in the lamps' place
    QLabel* m_imageMagyar = nullptr;
    QLabel* m_imageAngol = nullptr;
    QTabWidget* m_pages = nullptr;
    int m_activePage = -1; ///< the page before a page change
};

} // namespace kvam
