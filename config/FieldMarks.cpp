#include "config/FieldMarks.h"

#include "config/RecordEditor.h"
#include "device/FieldTable.h"
#include "platform/LanguageSwitch.h"
#include "texts/UiTexts.h"

#include <QWidget>

namespace kvam {

namespace {

// Only the marked control itself takes the mark (by its name), not the parts it is made of.
QString markStyle(const QWidget* control)
{
    return QStringLiteral("#%1 { background-color: #ffc4c4; color: #900000; }").arg(control->objectName());
}

} // namespace

FieldMarks::FieldMarks(QWidget* window, QObject* parent) : QObject(parent), m_window(window) {}

FieldMarks::~FieldMarks() = default;

void FieldMarks::writeVerified(MemoryRecord record, std::span<const FieldChange> differences)
{
    clear(record);
    for (const FieldChange& c : differences) {
        const ConfigField* field = configFieldOf(c);
        if (!field)
            continue; // no editor shows it; the message lists it
        const QString written = changeTexts(c, shownLanguage(m_window)).before;
        for (QWidget* control : elementControls(m_window, *field, c.index))
            mark(record, control, written);
    }
}

void FieldMarks::clear(MemoryRecord record)
{
    for (qsizetype i = m_marks.size() - 1; i >= 0; --i) {
        if (m_marks[i].record != record)
            continue;
        unmark(m_marks[i]);
        m_marks.removeAt(i);
    }
}

QList<QWidget*> FieldMarks::marked() const
{
    QList<QWidget*> out;
    for (const Mark& m : m_marks)
        if (m.control)
            out << m.control;
    return out;
}

void FieldMarks::mark(MemoryRecord record, QWidget* control, const QString& written)
{
    const QString tip = currentText("Review.Written").arg(written);
    for (const Mark& m : std::as_const(m_marks)) {
        if (m.control == control) {
            // Two elements in one control (the parts of a composed value): one mark, both values.
            control->setToolTip(control->toolTip() + QLatin1Char('\n') + tip);
            return;
        }
    }
    m_marks.append(Mark{record, control, control->styleSheet(), control->toolTip()});
    control->setProperty(kProperty, written);
    // A plain container (a lamp group) paints a style sheet's background only when asked to.
    control->setAttribute(Qt::WA_StyledBackground);
    control->setStyleSheet(markStyle(control));
    control->setToolTip(tip);
}

void FieldMarks::unmark(const Mark& m)
{
    if (!m.control)
        return;
    m.control->setProperty(kProperty, QVariant());
    m.control->setStyleSheet(m.styleSheet);
    m.control->setToolTip(m.toolTip);
}

} // namespace kvam
