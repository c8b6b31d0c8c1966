#pragma once

#include "measure/ViewRecords.h"

#include <QColor>
#include <QWidget>

class QPushButton;

namespace kvam {

class DeviceModel;
class Lamp;
class LampGroup;

/// The "Hibajelzések" page: the meter's dynamic and static error flags and its error lamp.
class ErrorsPage : public QWidget
{
    Q_OBJECT
public:
    explicit ErrorsPage(QWidget* parent = nullptr);
    /// Shows the model's state answers; "Hibák törlése" asks the meter to clear its errors.
    void attach(DeviceModel& model);

    /// Dynamic flags, then static flags, then the error lamp by the mask rule.
    void showState(const StateRecord& rec);

    LampGroup* dynamicLamps() const { return m_dynamic; } ///< bits 0..19, DinLeds is bit 0
    LampGroup* staticLamps() const { return m_static; }   ///< bits 0..22, StatLeds is bit 0
    Lamp* errorLed() const { return m_errorLed; }
    QPushButton* clearErrorsButton() const { return m_clearErrors; }

    /// The error captions for bits 0..22, as the meter names its flags.
    static QStringList errorCaptions();

    static constexpr QRgb kErrorLit = qRgb(255, 0, 0);
    static constexpr QRgb kErrorUnlit = qRgb(128, 0, 0);

signals:
    /// "Hibák törlése" was pressed.
    void clearErrorsRequested();

private:
    LampGroup* m_dynamic = nullptr;
    LampGroup* m_static = nullptr;
    Lamp* m_errorLed = nullptr;
    QPushButton* m_clearErrors = nullptr;
};

} // namespace kvam
