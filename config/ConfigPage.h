#pragma once

#include "device/FieldTable.h"
#include "records/Records.h"

#include <QHash>
#include <QWidget>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QTabWidget;

namespace kvam {

class ConfigFiles;
class DeviceModel;
struct UserPrompts;
class LampGroup;
class NumericSpin;

/// The configuration page: the editor of the RAM2 record in six inner pages, the read and write
/// buttons, the record-file buttons and the user's service controls. It shows an image
/// (Display_RAM2) and packs its controls into one (Ram2refresh); it never touches the device
/// itself: its buttons are signals.
class ConfigPage : public QWidget
{
    Q_OBJECT
public:
    explicit ConfigPage(QWidget* parent = nullptr);
    /// Shows the model's RAM2 record and packs the editor for its writes; the buttons reach the
    /// model and the record files; the other pages' editors decide what is visible.
    /// The user password is read from the per-user store now, and stored on every change.
    void attach(DeviceModel& model, ConfigFiles& files, UserPrompts& prompts);

    /// The stored user password (0 when none is stored).
    int userPassword() const { return m_userPassword; }
    void ReadRegistry(UserPrompts& prompts);
    void WriteRegistry();
    void NewPasswordValueChanged(int password);

    /// Fills every control from the image, then applies the visibility rules. Changes nothing in
    /// the image.
    void Display_RAM2(const Ram2Image& ram2);
    /// Packs every control into the image; fields without a control keep their bytes.
    void Ram2refresh(Ram2Image& ram2) const;

    // Select handlers: visibility, and in EPlimitingSelect the forcing of the sources.
    void D1functionboxSelect();
    void D2functionboxSelect();
    void ElrendezesboxSelect();
    void EPlimitingSelect();
    /// The fitted modules (module box indexes of the factory page) decide which output panels exist;
    /// until they are known (-1), the module's panels are hidden and no source is forced.
    void Modul1boxSelect(int modul1Index);
    void Modul2boxSelect(int modul2Index);
    int modul1Index() const { return m_modul1; }
    int modul2Index() const { return m_modul2; }

    /// The write buttons stay disabled, with the reason as their tooltip, until both images hold a
    /// record.
    void setWriteEnabled(bool enabled);
    /// The energy clear needs a RAM1 record read from the meter.
    void setClearEnergyEnabled(bool enabled);

    /// Shows the stored user password without counting it as a change.
    void showNewPassword(int password);
    NumericSpin* newPassword() const { return m_newPassword; }
    NumericSpin* antestValue() const { return m_antestValue; }
    QTabWidget* innerPages() const { return m_inner; }

signals:
    void readRamClicked();     ///< Button2
    void writeRamClicked();    ///< Button1
    void saveRecordClicked();  ///< ButtonSaveRecord
    void readRecordClicked();  ///< ButtonReadRecord
    void userDefaultClicked(); ///< UserDefaultButton
    void clearEnergyClicked(); ///< ClearEnergybutton
    void restoreClicked();     ///< RestoreButton
    void kilepesClicked();     ///< ButtonKilepes
    void antestClicked();      ///< Antestbutton
    /// A committed change of NewPassword.
    void newPasswordChanged(int password);
    /// The user chose an arrangement: the measurement page shows L2 and L3 only for three phases.
    void arrangementSelected(int index);

private:
    QWidget* buildTab(FieldPage tab);
    QWidget* buildMeasuring();
    QWidget* buildModul1();
    QWidget* buildModul2();
    QWidget* buildLedMask();
    QWidget* buildDemand();
    QWidget* buildHarmonics();
    void buildDigitalOutput(QWidget* page, int output, const QRect& geometry);
    void buildAnalogOutput(QWidget* page, int output, const QRect& geometry);

    QLabel* label(QWidget* parent, const char* name, int x, int y, int width = 150);
    NumericSpin* number(QWidget* parent, const char* name, int x, int y, int width = 110);
    QComboBox* choice(QWidget* parent, const char* name, int x, int y, int width = 170);
    LampGroup* errorLamps(QWidget* parent, const char* first, const QStringList& others, int x, int y);
    QWidget* w(const char* name) const;
    void updateAntestbox();

    QTabWidget* m_inner = nullptr;
    NumericSpin* m_newPassword = nullptr;
    NumericSpin* m_antestValue = nullptr;
    QHash<QString, QWidget*> m_controls;
    int m_committedPassword = 0;
    int m_userPassword = 0;
    int m_modul1 = -1; ///< -1 until the fitted modules are known
    int m_modul2 = -1;
};

} // namespace kvam
