#pragma once

#include <QDialog>

namespace kvam {

/// The modal window for choosing a section of the settings file.
class TSectionForm : public QDialog
{
    Q_OBJECT
public:
    explicit TSectionForm(QWidget* parent = nullptr);
};

} // namespace kvam
