#pragma once

#include "app/MainPages.h"
#include "device/DeviceModel.h"
#include "link/LinkEngine.h"

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

/// The main window: a thin shell. It builds the pages from the page table, connects them to the
/// device model, and hands port choices to the link.
class TForm1 : public QWidget
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

    // Handlers of the window's controls.
    void PortsboxDropDown();
    void PortsboxSelect(int index);
    void GetComPorts();
    void InitComPort1();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildPages();
    void connectPages();
    void FormCreate();
    void FormClose();
    void CoolPageControl1Change(int index);
    void mirrorFlags();

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
    QTimer* m_logTimer = nullptr;
};

} // namespace kvam
