#pragma once

#include <QDialog>

namespace kvam {

/// The modal password entry window. It opens the protected pages once a password is accepted.
class TPasswordForm : public QDialog
{
    Q_OBJECT
public:
    explicit TPasswordForm(QWidget* parent = nullptr);
};

} // namespace kvam
