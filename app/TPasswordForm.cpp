#include "app/TPasswordForm.h"

#include "app/AccessLevel.h"
#include "platform/NumericSpin.h"
#include "texts/UiTexts.h"

#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>

#include <cmath>

namespace kvam {

TPasswordForm::TPasswordForm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
{
    setObjectName(QStringLiteral("PasswordForm"));
    setWindowTitle(uiText("PasswordForm"));
    setModal(true);
    setFixedSize(kClientWidth, kClientHeight);

    m_edit = new NumericSpin(-100000, 100000, 1, QStringLiteral("#0"), kNoEntry, this);
    m_edit->setObjectName(QStringLiteral("Passwordedit"));
    QFont bold = m_edit->font();
    bold.setBold(true);
    m_edit->setFont(bold);
    m_edit->setGeometry(55, 20, 120, 26);
    m_committed = m_edit->value();

    m_ok = new QPushButton(uiText("PasswordForm.Passwokbutton"), this);
    m_ok->setObjectName(QStringLiteral("Passwokbutton"));
    m_ok->setGeometry(77, 64, 76, 26);
    // Enter in the edit presses OK even when the number is unchanged.
    m_ok->setDefault(true);

    connect(m_ok, &QPushButton::clicked, this, &TPasswordForm::PasswokbuttonClick);
    connect(m_edit, &NumericSpin::editingFinished, this, &TPasswordForm::PasswordeditValueChanged);
}

TPasswordForm::~TPasswordForm()
{
    // Hiding the window on destruction takes the focus from the edit, which then finishes its
    // editing; this part of the window is gone by then.
    disconnect(m_edit, nullptr, this, nullptr);
}

void TPasswordForm::setEntered(int value)
{
    m_edit->setValue(value);
    m_committed = m_edit->value();
}

int TPasswordForm::entered() const
{
    return static_cast<int>(std::lround(m_edit->value()));
}

void TPasswordForm::placeOver(const QWidget* mainWindow)
{
    const QRect main = mainWindow->frameGeometry();
    const QSize own = frameGeometry().size();
    move(main.x() + (main.width() - own.width()) / 2, main.y() + (main.height() - own.height()) / 2);
}

void TPasswordForm::FormActivate()
{
    m_edit->setFocus(Qt::ActiveWindowFocusReason);
    // Typing replaces the preset number.
    m_edit->selectAll();
}

void TPasswordForm::PasswokbuttonClick()
{
    accept();
}

void TPasswordForm::PasswordeditValueChanged()
{
    // The edit also finishes when it loses the focus: while the window closes, or when the user
    // turns to another window before the number is complete. Neither commits it.
    if (!isVisible() || !isActiveWindow())
        return;
    if (m_edit->value() == m_committed)
        return;
    m_committed = m_edit->value();
    accept();
}

bool TPasswordForm::event(QEvent* event)
{
    const bool handled = QDialog::event(event);
    // Activation hands the focus back to the control that had it, with its text as it was; the
    // first activation after showing starts the entry afresh.
    if (event->type() == QEvent::WindowActivate && m_activationPending) {
        m_activationPending = false;
        FormActivate();
    }
    return handled;
}

void TPasswordForm::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (event->spontaneous())
        return;
    m_committed = m_edit->value();
    m_activationPending = true;
    FormActivate();
}

} // namespace kvam
