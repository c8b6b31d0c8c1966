#pragma once

#include "records/Records.h"

#include <QWidget>

namespace kvam {

class ConfigFiles;
class DeviceModel;

/// The factory page: the part of the RAM3 record with controls (factory data, fitted modules, AD
/// offsets, phase corrections, nominal rms values), the read and write buttons and the settings
/// file buttons.
class FactoryPage : public QWidget
{
    Q_OBJECT
public:
    explicit FactoryPage(QWidget* parent = nullptr);
    /// Shows the model's RAM3 record and packs the editor for its writes; the buttons reach the
    /// model and the settings file; the fitted modules are told to the model for the other pages.
    void attach(DeviceModel& model, ConfigFiles& files);
    /// Saves both images into the settings section named by Factorynum.
    void SaveSettingsButtonClick();
    /// Offers the settings file's sections and loads the one chosen.
    void ReadSettingsButtonClick();

    /// Fills the controls from the image and reports the fitted modules (modulesChanged).
    void Display_RAM3(const Ram3Image& ram3);
    /// Packs the controls into the image; fields without a control keep their bytes.
    void Ram3refresh(Ram3Image& ram3) const;

    /// The text of Factorynum: it names the settings section.
    QString factoryNumberText() const;
    int modul1Index() const;
    int modul2Index() const;

    /// The write button waits, with the reason as its tooltip, until both images hold a record.
    void setWriteEnabled(bool enabled);

private:
    ConfigFiles* m_files = nullptr;

signals:
    void modul1Selected(int index); ///< Modul1boxSelect: chosen by the user or shown from a record
    void modul2Selected(int index); ///< Modul2boxSelect
    void readRamClicked();          ///< Rd_velmar_cal
    void writeRamClicked();         ///< Wr_velmar_cal
    void velmarDefaultClicked();    ///< VelmarDefaultbutton
    void readSettingsClicked();     ///< ReadSettingsButton
    void saveSettingsClicked();     ///< SaveSettingsButton
};

} // namespace kvam
