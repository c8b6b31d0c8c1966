#pragma once

#include "records/Records.h"

#include <QWidget>

namespace kvam {

/// The factory page: the part of the RAM3 record with controls (factory data, fitted modules, AD
/// offsets, phase corrections, nominal rms values), the read and write buttons and the settings
/// file buttons.
class FactoryPage : public QWidget
{
    Q_OBJECT
public:
    explicit FactoryPage(QWidget* parent = nullptr);

    /// Fills the controls from the image and reports the fitted modules (modulesChanged).
    void Display_RAM3(const Ram3Image& ram3);
    /// Packs the controls into the image; fields without a control keep their bytes.
    void Ram3refresh(Ram3Image& ram3) const;

    /// The text of Factorynum: it names the settings section.
    QString factoryNumberText() const;
    int modul1Index() const;
    int modul2Index() const;

    void setWriteEnabled(bool enabled, const QString& reason);

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
