#pragma once

#include "measure/ViewRecords.h"

#include <QColor>
#include <QHash>
#include <QWidget>

#include <array>
#include <utility>
#include <vector>

class QCheckBox;
class QPushButton;
class QRect;

namespace kvam {

class DeviceModel;
class Lamp;
class LabeledEdit;

/// The "Mért értékek" page: the measured values, version and factory data, demand data and the
/// meter's inputs and outputs.
class MeasurementPage : public QWidget
{
    Q_OBJECT
public:
    explicit MeasurementPage(QWidget* parent = nullptr);
    /// Shows the model's records, follows the arrangement the editor chooses, and sends the
    /// output tests through the model.
    void attach(DeviceModel& model);

    /// Shows the fields of the records given (measureCellText); the others keep their texts.
    void showRecords(const MeasureRecords& records);
    /// Writes the 39 measurement texts, also into the columns hidden for single-phase networks.
    void showNet(const NetRecord& rec);
    /// The 16 energy counters of RAM1, in kWh and kVArh.
    void showRam1(const Ram1Image& ram1);
    /// The columns that the measuring arrangement of RAM2 uses.
    void showArrangement(const Ram2Image& ram2);
    /// Shows the L2, L3 and sum columns (three-phase arrangements) or only L1.
    void setThreePhaseColumnsVisible(bool visible);
    bool threePhaseColumnsVisible() const;
    /// Output lamps yellow when active, input lamps lime when active, white otherwise.
    void showState(const StateRecord& rec);
    void showVersion(const VersionRecord& rec);
    void showEp(const EpRecord& rec);

    /// A value field by its control name (measurements, energies, version, demand), or nullptr.
    LabeledEdit* field(const QString& name) const;
    /// The output test byte the two "Teszt" boxes ask for: bit 0 output 1, bit 1 output 2.
    quint8 testOutputByte() const;

    QCheckBox* testOut1() const { return m_testOut1; }
    QCheckBox* testOut2() const { return m_testOut2; }
    QPushButton* passwButton() const { return m_passwButton; }
    /// "Jelentés…": the window's report action takes its clicks.
    QPushButton* reportButton() const { return m_reportButton; }

    static constexpr QRgb kOutputActive = qRgb(255, 255, 0); ///< yellow
    static constexpr QRgb kInputActive = qRgb(0, 255, 0);    ///< lime
    static constexpr QRgb kIoInactive = qRgb(255, 255, 255); ///< white

signals:
    /// A "Teszt" box was clicked; `byte` reflects both boxes.
    void testOutputsClicked(quint8 byte);

private:
    LabeledEdit* addField(const MeasureCell& cell, QWidget* parent, int editLeft, int top, int labelWidth);
    void buildMeasurements();
    void buildList(const MeasureGroup& fields, const QRect& geometry, int editLeft, int labelWidth);
    void buildInputsOutputs();

    QHash<QString, LabeledEdit*> m_fields;
    std::vector<std::pair<MeasureCell, LabeledEdit*>> m_cells; ///< in the order of measureGroups()
    QWidget* m_panel1 = nullptr;
    std::array<Lamp*, kIoLampCount> m_lamps{}; ///< in the order of ioLamps()
    QCheckBox* m_testOut1 = nullptr;
    QCheckBox* m_testOut2 = nullptr;
    QPushButton* m_passwButton = nullptr;
    QPushButton* m_reportButton = nullptr;
};

} // namespace kvam
