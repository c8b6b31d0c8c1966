#include "app/TPasswordForm.h"

namespace kvam {

TPasswordForm::TPasswordForm(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("PasswordForm"));
    setModal(true);
}

} // namespace kvam
