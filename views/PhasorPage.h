#pragma once

#include "measure/PhasorGeometry.h"
#include "measure/PhasorInput.h"
#include "measure/ViewRecords.h"
#include "measure/WiringHints.h"
#include "views/Drawing.h"

#include <QImage>
#include <QWidget>

#include <optional>
#include <utility>

class QCheckBox;
class QLabel;

namespace kvam {

class DeviceModel;
class NumericSpin;

/// The phasor page: the diagram image, the two zoom spins, the three display check boxes and the
/// wiring hints. The controls have no handlers; they take effect at the next redraw.
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
    void showNet(const NetRecord& net, const CaldataRecord& cal);
    /// Draws `input` with the current options, shows it and keeps the values it was drawn from.
    /// While the page is hidden the picture is only taken down (input and options of this
    /// moment) and drawn when the page is shown or its image or result is asked for: the same
    /// picture, without drawing several a second nobody sees.
    void redraw(const PhasorInput& input);
    /// Shows the wiring hints of `net` judged against `reference`, in the language shown now and
    /// in any the user switches to.
    void showHints(const NetRecord& net, const WiringReference& reference);
    const std::vector<WiringHint>& hints() const { return m_hints; }
    /// The hints as shown; empty before the first measurement.
    QString hintsText() const;

    const QImage& image();
    const PhasorResult& result();

protected:
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void showHintsText();
    void drawPending();

    QImage m_image;
    PhasorResult m_result;
    PhasorGridCache m_gridCache;
    std::optional<std::pair<PhasorInput, PhasorOptions>> m_pending; ///< taken down, not yet drawn
    QWidget* m_vectorImage = nullptr;
    NumericSpin* m_uzoom = nullptr;
    NumericSpin* m_izoom = nullptr;
    QCheckBox* m_dispVoltage = nullptr;
    QCheckBox* m_dispCurrent = nullptr;
    QCheckBox* m_dispProvider = nullptr;
    QLabel* m_hintsLabel = nullptr;
    std::vector<WiringHint> m_hints;
    bool m_measured = false; ///< a measurement has been judged
};

} // namespace kvam
