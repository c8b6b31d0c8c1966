#pragma once

#include "views/Drawing.h"
#include "views/PhasorGeometry.h"
#include "views/PhasorInput.h"
#include "views/ViewRecords.h"

#include <QImage>
#include <QWidget>

class QCheckBox;
class QLabel;

namespace kvam {

class DeviceModel;
class NumericSpin;

/// The phasor page: the diagram image, the two zoom spins and the three display check boxes.
/// The controls have no handlers; they take effect at the next redraw.
class PhasorPage : public QWidget
{
    Q_OBJECT
public:
    explicit PhasorPage(QWidget* parent = nullptr);
    /// Redraws on every measurement record of the model.
    void attach(DeviceModel& model);

    float zoomU() const;
    float zoomI() const;
    PhasorOptions options() const;

    /// Draws the measurements with the reference magnitudes of the calibration data and the zooms
    /// of the page.
    const PhasorResult& showNet(const NetRecord& net, const CaldataRecord& cal);
    /// Draws `input` with the current options, shows it and keeps the values it was drawn from.
    const PhasorResult& redraw(const PhasorInput& input);

    const QImage& image() const { return m_image; }
    const PhasorResult& result() const { return m_result; }

private:
    QImage m_image;
    PhasorResult m_result;
    PhasorGridCache m_gridCache;
    QWidget* m_vectorImage = nullptr;
    NumericSpin* m_uzoom = nullptr;
    NumericSpin* m_izoom = nullptr;
    QCheckBox* m_dispVoltage = nullptr;
    QCheckBox* m_dispCurrent = nullptr;
    QCheckBox* m_dispProvider = nullptr;
};

} // namespace kvam
