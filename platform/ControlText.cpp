#include "platform/ControlText.h"

#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>
#include <QStackedWidget>
#include <QTabWidget>

namespace kvam {

namespace {

// A page of a QTabWidget sits in the tab widget's stack; its caption is the tab's.
QTabWidget* tabWidgetOf(QWidget* page, int* index)
{
    auto* stack = qobject_cast<QStackedWidget*>(page->parentWidget());
    if (!stack)
        return nullptr;
    auto* tabs = qobject_cast<QTabWidget*>(stack->parentWidget());
    if (!tabs)
        return nullptr;
    *index = tabs->indexOf(page);
    return *index >= 0 ? tabs : nullptr;
}

QLabel* captionLabelOf(QWidget* control)
{
    QWidget* scope = control->parentWidget();
    if (!scope)
        return nullptr;
    const QString name = control->objectName() + QStringLiteral("Label");
    // The caption is a sibling of the control (fields, lamps) or one of its children (lamp groups).
    for (QLabel* label : scope->findChildren<QLabel*>(name, Qt::FindDirectChildrenOnly))
        return label;
    for (QLabel* label : control->findChildren<QLabel*>(name))
        return label;
    return nullptr;
}

} // namespace

QList<QWidget*> ControlText::controls(const QList<QWidget*>& roots, const QString& control)
{
    // "Window.Control" names a control of the window (dialog) called Window.
    const qsizetype dot = control.indexOf(QLatin1Char('.'));
    if (dot > 0) {
        QList<QWidget*> found;
        for (QWidget* window : controls(roots, control.left(dot)))
            if (window->isWindow())
                found << window->findChildren<QWidget*>(control.mid(dot + 1));
        return found;
    }
    // A plain name is looked for in the windows themselves, not inside the dialogs they own.
    auto inOwnedDialog = [](QWidget* w, QWidget* root) {
        for (QWidget* p = w; p && p != root; p = p->parentWidget())
            if (p != w && p->isWindow())
                return true;
        return false;
    };
    QList<QWidget*> found;
    for (QWidget* root : roots) {
        if (root->objectName() == control)
            found << root;
        for (QWidget* w : root->findChildren<QWidget*>(control))
            if (!inOwnedDialog(w, root))
                found << w;
    }
    return found;
}

QString ControlText::text(QWidget* control, bool* ok)
{
    if (ok)
        *ok = true;
    int index = -1;
    if (control->isWindow())
        return control->windowTitle();
    if (QTabWidget* tabs = tabWidgetOf(control, &index))
        return tabs->tabText(index);
    if (auto* group = qobject_cast<QGroupBox*>(control))
        return group->title();
    if (auto* button = qobject_cast<QAbstractButton*>(control))
        return button->text();
    if (auto* label = qobject_cast<QLabel*>(control))
        return label->text();
    if (QLabel* caption = captionLabelOf(control))
        return caption->text();
    if (ok)
        *ok = false;
    return QString();
}

bool ControlText::setText(QWidget* control, const QString& text)
{
    int index = -1;
    if (control->isWindow())
        control->setWindowTitle(text);
    else if (QTabWidget* tabs = tabWidgetOf(control, &index))
        tabs->setTabText(index, text);
    else if (auto* group = qobject_cast<QGroupBox*>(control))
        group->setTitle(text);
    else if (auto* button = qobject_cast<QAbstractButton*>(control))
        button->setText(text);
    else if (auto* label = qobject_cast<QLabel*>(control))
        label->setText(text);
    else if (QLabel* caption = captionLabelOf(control))
        caption->setText(text);
    else
        return false;
    return true;
}

} // namespace kvam
