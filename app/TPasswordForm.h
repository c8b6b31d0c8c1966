#pragma once

#include <QDialog>

class QPushButton;

namespace kvam {

class NumericSpin;

/// The modal password entry window. The main window presets the number, shows the window and
/// evaluates the number entered once it closes.
class TPasswordForm : public QDialog
{
    Q_OBJECT
public:
    static constexpr int kClientWidth = 230;
    static constexpr int kClientHeight = 108;

    explicit TPasswordForm(QWidget* parent = nullptr);
    ~TPasswordForm() override;

    /// Presets the number shown; it counts as unchanged, so this never closes the window.
    void setEntered(int value);
    /// The number in `Passwordedit`, rounded to an integer.
    int entered() const;

    /// Moves the window so that it stands over the centre of `mainWindow`.
    void placeOver(const QWidget* mainWindow);

    // Handlers of the window and its controls.
    void FormActivate();
    void PasswokbuttonClick();
    void PasswordeditValueChanged();

protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    NumericSpin* m_edit = nullptr;
    QPushButton* m_ok = nullptr;
    double m_committed = 0.0;         ///< the number when shown or last preset
    bool m_activationPending = false; ///< shown, not yet activated
};

} // namespace kvam
