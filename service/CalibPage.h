#pragma once

#include "records/Records.h"

#include <QWidget>

class QPushButton;
class QRadioButton;

namespace kvam {

class DeviceModel;
class LabeledEdit;
class NumericSpin;

/// The calibration page: the measuring inputs at the left (the calibration data of the selected
/// channel and the buttons that store it in the RAM3 image), the analog outputs at the right (the
/// five-step sequence and the four calibration points of the RAM3 record).
class CalibPage : public QWidget
{
    Q_OBJECT
public:
    explicit CalibPage(QWidget* parent = nullptr);
    /// Shows the model's calibration data and RAM3 record, packs the analog output points for its
    /// writes, and sends the calibration steps and the output sequence through the model.
    void attach(DeviceModel& model);

    /// The channel of the checked radio button (0 L1 U, 1 L1 I, 2 L2 U, 3 L2 I, 4 L3 U, 5 L3 I),
    /// tested in the order L1 U, L2 U, L3 U, L1 I, L2 I; 5 when none of those is checked.
    int GetCalChannel() const;
    /// Shows the selected channel of the calibration data and its offset in the RAM3 image.
    void Display_Caldat(const CaldataRecord& caldata, const Ram3Image& ram3);
    /// Shows the analog output points of the RAM3 image.
    void Display_RAM3(const Ram3Image& ram3);
    /// Packs the analog output points into the RAM3 image.
    void Ram3refresh(Ram3Image& ram3) const;

    /// Advances the analog output sequence: output 1 point 1, point 2, output 2 point 1, point 2,
    /// then off.
    void DAcalbuttonClick();
    /// Leaving the page ends the sequence (and tells the meter so).
    void TabSheet_CalibExit();
    int daCalStep() const { return m_step; }

    /// The three calibration buttons wait for a RAM3 record.
    void setRam3Held(bool held);
    /// Button4 follows the rule of the other write buttons.
    void setWriteEnabled(bool enabled);

signals:
    void daCalCodeChanged(quint8 code); ///< a code for Write_DAcalib
    void setNominalClicked(int channel);
    void setOffsetClicked(int channel);
    void clearOffsetClicked(int channel);
    void readRamClicked();  ///< Button3
    void writeRamClicked(); ///< Button4

private:
    void enablePoints();

    LabeledEdit* m_uirms = nullptr;
    LabeledEdit* m_average = nullptr;
    LabeledEdit* m_adrms = nullptr;
    LabeledEdit* m_offset = nullptr;
    QList<QRadioButton*> m_channels;
    QList<QPushButton*> m_calButtons;
    QPushButton* m_daCal = nullptr;
    QPushButton* m_write = nullptr;
    QList<NumericSpin*> m_points; // Ch1Pwm1, Ch1Pwm2, Ch2Pwm1, Ch2Pwm2
    int m_step = 0;
};

} // namespace kvam
