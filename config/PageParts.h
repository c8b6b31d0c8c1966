#pragma once

#include <QRect>

class QGroupBox;
class QPushButton;
class QWidget;

namespace kvam {

// The pieces the configuration, factory and calibration pages are built of: each takes its
// objectName and its start text from the text table.

/// A group box called `name` at `geometry`, titled with its start text.
QGroupBox* makeGroup(QWidget* parent, const char* name, const QRect& geometry);
/// A push button called `name` at `geometry`, with its start text.
QPushButton* makeButton(QWidget* parent, const char* name, const QRect& geometry);

} // namespace kvam
