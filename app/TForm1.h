#pragma once

#include "DeviceMemory.h"
#include "LinkEngine.h"
#include "PhasorInput.h"
#include "ViewRecords.h"

#include <QWidget>

#include <functional>

class QLabel;
class QTabWidget;
class QTimer;

namespace kvam {

class CommPage;
class ErrorsPage;
class HarmonicsPage;
class Lamp;
class LinkDriver;
class MeasurementPage;
class PhasorPage;

/// The main window: a thin shell that builds the pages, owns the shared records and hands the
/// link's answers to the pages that show them.
class TForm1 : public QWidget, private LinkClient
{
    Q_OBJECT
public:
    struct Options
    {
        bool demoPacing = true; ///< the in-process meter behind "DEMO" keeps the line's pace
    };

    static constexpr int kProgramMajorVersion = 3; ///< the "version" figure of the caption

    explicit TForm1(QWidget* parent = nullptr) : TForm1(Options{}, parent) {}
    explicit TForm1(Options options, QWidget* parent = nullptr);
    ~TForm1() override;

    /// The window caption after start-up: the base caption, the version text and the revision.
    static QString windowCaption();

    LinkDriver& link() { return *m_link; }
    LinkEngine& engine();
    DeviceMemory& memory() { return m_memory; }

    /// Opens NAME as if the user had picked it in the port list (added to the list when missing).
    void openPortByName(const QString& name);
    /// Makes the visible page with that objectName active as a click on its tab would. False when
    /// there is no such visible page.
    bool activatePage(const QString& objectName);

    /// How errors and the version refusal reach the user; tests replace them.
    std::function<void(const QString&)> showError;
    std::function<void(const QString&)> refuseDevice;

    // Handlers of the window's controls.
    void PortsboxDropDown();
    void PortsboxSelect(int index);
    void GetComPorts();
    void InitComPort1();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void FormCreate();
    void FormClose();
    void CoolPageControl1Change(int index);
    void mirrorFlags();

    // LinkClient: the display routines of the answers.
    void Display_State(const std::uint8_t* payload) override;
    void Display_Net(const std::uint8_t* payload) override;
    void Display_RAM1(const std::uint8_t* payload) override;
    void Display_RAM2() override;
    void Display_RAM3(const std::uint8_t* payload) override;
    void Display_Caldat(const std::uint8_t* payload) override;
    void Display_EPdata(const std::uint8_t* payload) override;
    void Display_Version(const std::uint8_t* payload) override;
    void Display_Harmonics(const std::uint8_t* payload) override;
    bool factorySettingsPageActive() const override;
    std::uint8_t GetHarmChannel() const override;

    Options m_options;
    DeviceMemory m_memory;
    NetRecord m_net;
    StateRecord m_state;
    VersionRecord m_version;
    EpRecord m_ep;
    CaldataRecord m_caldata;
    PhasorInput m_phasorInput;

    LinkDriver* m_link = nullptr;
    Lamp* m_txLed = nullptr;
    Lamp* m_rxLed = nullptr;
    QLabel* m_imageMagyar = nullptr;
    QLabel* m_imageAngol = nullptr;
    QTabWidget* m_pages = nullptr;
    QWidget* m_calibPage = nullptr;
    QWidget* m_factoryPage = nullptr;
    QWidget* m_configPage = nullptr;
    MeasurementPage* m_meres = nullptr;
    HarmonicsPage* m_harmonics = nullptr;
    PhasorPage* m_phasor = nullptr;
    ErrorsPage* m_errors = nullptr;
    CommPage* m_comm = nullptr;
    QTimer* m_logTimer = nullptr;
};

} // namespace kvam
