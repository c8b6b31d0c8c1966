#include "config/RecordEditor.h"

#include "platform/LampGroup.h"
#include "platform/NumericSpin.h"
#include "records/FieldValue.h"

#include "texts/UiTexts.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QSignalBlocker>

#include <cfloat>
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

} // namespace

FieldControl fieldControl(const char* control)
{
    for (auto table : {ram2ConfigFields(), ram3ConfigFields()})
        for (const ConfigField& f : table)
            for (std::size_t k = 0; k < kMaxControls; ++k)
                if (f.controls[k] && std::strcmp(f.controls[k], control) == 0)
                    return {&f, f.editor == EditorKind::Composed ? 0 : k};
    return {};
}

NumericSpin* makeFieldNumber(QWidget* parent, const char* control, const QRect& geometry)
{
    const FieldControl c = fieldControl(control);
    Q_ASSERT_X(c.field && c.field->editor == EditorKind::Number, "makeFieldNumber", control);
    const NumberEditor& e = c.field->numberEditor(c.index);
    // An edit without limits still keeps to what the field's single can hold.
    const double lo = e.limited ? e.minimum : -FLT_MAX;
    const double hi = e.limited ? e.maximum : FLT_MAX;
    auto* spin = new NumericSpin(lo, hi, e.step, QString::fromLatin1(e.format), e.initial, parent);
    spin->setObjectName(QLatin1String(control));
    spin->setGeometry(geometry);
    return spin;
}

QLabel* makeFieldCaption(QWidget* parent, const char* control, const QRect& geometry)
{
    const FieldControl c = fieldControl(control);
    Q_ASSERT_X(c.field && c.field->shown(c.index), "makeFieldCaption", control);
    const char* key = c.field->captions[c.index];
    auto* label = new QLabel(uiText(key), parent);
    label->setObjectName(std::strcmp(key, control) == 0 ? QLatin1String(control) + QStringLiteral("Label")
                                                        : QString::fromLatin1(key));
    label->setGeometry(geometry);
    return label;
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

NumericSpin* findNumber(const QWidget* page, const char* name)
{
    return page->findChild<NumericSpin*>(QLatin1String(name));
}

QComboBox* findChoice(const QWidget* page, const char* name)
{
    return page->findChild<QComboBox*>(QLatin1String(name));
}

LampGroup* findMask(const QWidget* page, const char* name)
{
    // A lamp group carries its bit-0 lamp's name + "Group".
    return page->findChild<LampGroup*>(QLatin1String(name) + QLatin1String("Group"));
}

void selectQuietly(QComboBox* box, int index)
{
    const QSignalBlocker block(box);
    box->setCurrentIndex(index >= 0 && index < box->count() ? index : -1);
}

void displayFields(QWidget* page, std::span<const ConfigField> table, std::span<const std::uint8_t> image)
{
    for (const ConfigField& f : table) {
        const FieldInfo& info = f.info();
        for (std::size_t k = 0; k < kMaxControls && k < info.count; ++k) {
            const char* name = f.controls[k];
            if (!name)
                continue;
            switch (f.editor) {
            case EditorKind::Number:
                if (NumericSpin* spin = findNumber(page, name)) {
                    const QSignalBlocker block(spin);
                    spin->setValue(readNumber(image, info, k) / info.scale);
                }
                break;
            case EditorKind::Choice:
            case EditorKind::ChoicePlus1:
                if (QComboBox* box = findChoice(page, name)) {
                    const auto code = readInteger(image, info, k);
                    const auto index = f.editor == EditorKind::ChoicePlus1 ? code - 1 : code;
                    selectQuietly(box, index >= 0 && index < box->count() ? int(index) : -1);
                }
                break;
            case EditorKind::Mask:
                if (LampGroup* group = findMask(page, name))
                    group->setStatus(static_cast<quint32>(readInteger(image, info, k)));
                break;
            case EditorKind::None:
            case EditorKind::Composed:
                break;
            }
        }
    }
}

void packFields(const QWidget* page, std::span<const ConfigField> table, std::span<std::uint8_t> image)
{
    for (const ConfigField& f : table) {
        const FieldInfo& info = f.info();
        for (std::size_t k = 0; k < kMaxControls && k < info.count; ++k) {
            const char* name = f.controls[k];
            if (!name)
                continue;
            switch (f.editor) {
            case EditorKind::Number:
                if (const NumericSpin* spin = findNumber(page, name))
                    writeNumber(image, info, k, spin->value() * info.scale);
                break;
            case EditorKind::Choice:
                if (const QComboBox* box = findChoice(page, name))
                    writeInteger(image, info, k, box->currentIndex());
                break;
            case EditorKind::ChoicePlus1:
                if (const QComboBox* box = findChoice(page, name))
                    writeInteger(image, info, k, box->currentIndex() + 1);
                break;
            case EditorKind::Mask:
                if (const LampGroup* group = findMask(page, name))
                    // Bits 20 to 31 have no lamp: the editor writes them 0.
                    writeInteger(image, info, k, group->status() & kErrorMaskBits);
                break;
            case EditorKind::None:
            case EditorKind::Composed:
                break;
            }
        }
    }
}

} // namespace kvam
