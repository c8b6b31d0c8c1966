#pragma once

#include <QList>
#include <QString>

class QWidget;

namespace kvam {

/// Where the text keyed by a control name is shown: the window title of a window, the tab caption
/// of a page, the title of a group, the text of a button, check box or label, and for any other
/// control (a lamp, a labelled field, a list) the text of its caption label, named after it with
/// "Label" appended.
class ControlText
{
public:
    /// The widgets named `control` under (and including) each of `roots`, outside the dialogs the
    /// roots own; "Window.Control" names a control inside the window (dialog) called Window.
    static QList<QWidget*> controls(const QList<QWidget*>& roots, const QString& control);

    /// The shown text of `control`; `ok` (when given) is false when the control shows none.
    static QString text(QWidget* control, bool* ok = nullptr);
    /// Shows `text` where `control`'s text stands; false when the control has no text to show.
    static bool setText(QWidget* control, const QString& text);
};

} // namespace kvam
