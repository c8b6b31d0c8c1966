#include "app/TSectionForm.h"

namespace kvam {

TSectionForm::TSectionForm(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("SectionForm"));
    setModal(true);
}

} // namespace kvam
