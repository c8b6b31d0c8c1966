#include "config/ReviewRows.h"

#include "config/RecordEditor.h"
#include "platform/ControlText.h"
#include "platform/LampGroup.h"
#include "platform/NumberFormat.h"
#include "platform/NumericSpin.h"
#include "texts/UiTexts.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLocale>

#include <climits>
#include <cmath>
#include <cstring>

namespace kvam {

namespace {

QGroupBox* groupOf(const QWidget* control)
{
    for (QWidget* p = control ? control->parentWidget() : nullptr; p; p = p->parentWidget())
        if (auto* group = qobject_cast<QGroupBox*>(p))
            return group;
    return nullptr;
}

QString withoutColon(QString text)
{
    text = text.trimmed();
    while (text.endsWith(QLatin1Char(':')))
        text.chop(1);
    return text.trimmed();
}

/// The label on the control's left in its row, among the control's siblings: the nearest one whose
/// middle stands before the control and level with it.
QLabel* labelBeside(const QWidget* control)
{
    const QWidget* parent = control->parentWidget();
    if (!parent)
        return nullptr;
    const QRect at = control->geometry();
    QLabel* best = nullptr;
    int bestGap = INT_MAX;
    for (QLabel* label : parent->findChildren<QLabel*>(Qt::FindDirectChildrenOnly)) {
        const QRect g = label->geometry();
        if (label->text().trimmed().isEmpty() || g.center().x() >= at.left() ||
            std::abs(g.center().y() - at.center().y()) > at.height() / 2)
            continue;
        const int gap = at.left() - g.right();
        if (gap < bestGap) {
            bestGap = gap;
            best = label;
        }
    }
    return best;
}

/// A value with no editor to show it: integers whole, floats with the digits a float holds.
QString plainNumber(const FieldInfo* field, double value)
{
    if (!field || field->type != FieldType::f32)
        return QString::number(static_cast<qint64>(value));
    return formatNumber("%.7g", value);
}

QString bitName(const LampGroup* group, int bit)
{
    const QLabel* caption = group ? group->captionLabel(bit) : nullptr;
    return caption ? caption->text().trimmed() : currentText("Review.Bit").arg(bit);
}

/// The lamps whose bits differ, each with its state in `mask`: "+ L1 letörés, − L2 letörés".
QString lampStates(const LampGroup* group, quint32 mask, quint32 differing)
{
    QStringList states;
    for (int bit = 0; bit < 32; ++bit) {
        const quint32 b = quint32(1) << bit;
        if (differing & b)
            states << ((mask & b) ? QStringLiteral("+ ") : QStringLiteral("\u2212 ")) + bitName(group, bit);
    }
    return states.join(QStringLiteral(", "));
}

} // namespace

const ConfigField* configFieldOf(const FieldChange& change)
{
    if (!change.field || change.record == MemoryRecord::Ram1)
        return nullptr;
    return findConfigField(change.record == MemoryRecord::Ram2 ? ram2ConfigFields() : ram3ConfigFields(),
                           change.field->name);
}

QList<QWidget*> elementControls(const QWidget* window, const ConfigField& field, std::size_t index)
{
    QList<QWidget*> found;
    if (field.editor == EditorKind::Composed) {
        QList<QWidget*> all;
        for (const char* name : field.controls)
            if (name)
                if (QWidget* w = window->findChild<QWidget*>(QLatin1String(name)))
                    all << w;
        if (field.info().count == 1)
            return index == 0 ? all : found;
        QList<QGroupBox*> groups;
        for (const QWidget* w : std::as_const(all))
            if (!groups.contains(groupOf(w)))
                groups << groupOf(w);
        for (QWidget* w : std::as_const(all))
            if (index < std::size_t(groups.size()) && groupOf(w) == groups[qsizetype(index)])
                found << w;
        return found;
    }
    const char* name = index < kMaxControls ? field.controls[index] : nullptr;
    if (!name)
        return found;
    QWidget* control = nullptr;
    switch (field.editor) {
    case EditorKind::Number:
        control = findNumber(window, name);
        break;
    case EditorKind::Choice:
    case EditorKind::ChoicePlus1:
        control = findChoice(window, name);
        break;
    case EditorKind::Mask:
        control = findMask(window, name);
        break;
    case EditorKind::None:
    case EditorKind::Composed:
        break;
    }
    if (control)
        found << control;
    return found;
}

QString controlCaption(const QWidget* control)
{
    bool ok = false;
    QString text = ControlText::text(const_cast<QWidget*>(control), &ok);
    if (!ok || text.trimmed().isEmpty()) {
        const QLabel* label = labelBeside(control);
        text = label ? label->text() : QString();
    }
    return withoutColon(text);
}

QString groupCaption(const QWidget* control)
{
    const QGroupBox* group = groupOf(control);
    return group ? withoutColon(group->title()) : QString();
}

ValueTexts valueTexts(const QWidget* window, const FieldChange& change)
{
    const ConfigField* field = configFieldOf(change);
    const FieldInfo* info = change.field;
    const QList<QWidget*> controls =
        field ? elementControls(window, *field, change.index) : QList<QWidget*>();
    QWidget* control = controls.isEmpty() ? nullptr : controls.first();
    switch (field ? field->editor : EditorKind::None) {
    case EditorKind::Number: {
        auto show = [&](double stored) {
            const double value = stored / info->scale;
            if (const auto* spin = qobject_cast<const NumericSpin*>(control))
                return spin->textFromValue(value);
            return NumericSpin::formatValue(value,
                                            QString::fromLatin1(field->numberEditor(change.index).format),
                                            QString(QLocale().decimalPoint()));
        };
        return {show(change.before), show(change.after)};
    }
    case EditorKind::Choice:
    case EditorKind::ChoicePlus1: {
        const auto* box = qobject_cast<const QComboBox*>(control);
        auto show = [&](double stored) {
            const auto code = static_cast<qint64>(stored);
            const qint64 item = field->editor == EditorKind::ChoicePlus1 ? code - 1 : code;
            return box && item >= 0 && item < box->count() ? box->itemText(int(item)).trimmed()
                                                           : plainNumber(info, stored);
        };
        return {show(change.before), show(change.after)};
    }
    case EditorKind::Mask: {
        const auto* group = qobject_cast<const LampGroup*>(control);
        const auto before = static_cast<quint32>(static_cast<qint64>(change.before));
        const auto after = static_cast<quint32>(static_cast<qint64>(change.after));
        return {lampStates(group, before, before ^ after), lampStates(group, after, before ^ after)};
    }
    case EditorKind::None:
    case EditorKind::Composed:
        break;
    }
    return {plainNumber(info, change.before), plainNumber(info, change.after)};
}

std::vector<ReviewRow> reviewRows(const QWidget* window, std::span<const FieldChange> changes)
{
    std::vector<ReviewRow> rows;
    rows.reserve(changes.size());
    for (const FieldChange& c : changes) {
        ReviewRow row;
        row.record = c.record;
        row.name = QString::fromStdString(c.name());
        const ConfigField* field = configFieldOf(c);
        const QList<QWidget*> controls = field ? elementControls(window, *field, c.index) : QList<QWidget*>();
        if (!controls.isEmpty()) {
            // A composed value is the whole group's: its caption is the group's title.
            if (field->editor != EditorKind::Composed)
                row.caption = controlCaption(controls.first());
            if (row.caption.isEmpty())
                row.caption = groupCaption(controls.first());
        }
        if (row.caption.isEmpty())
            row.caption = c.field ? QString::fromLatin1(c.field->name) : row.name;
        const ValueTexts values = valueTexts(window, c);
        row.meter = values.before;
        row.proposed = values.after;
        row.unit = unitOf(c);
        rows.push_back(std::move(row));
    }
    return rows;
}

} // namespace kvam
