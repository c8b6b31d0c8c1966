#include "config/RecordEditor.h"

#include "platform/LampGroup.h"
#include "platform/NumericSpin.h"
#include "records/FieldValue.h"

#include <QComboBox>
#include <QSignalBlocker>

namespace kvam {

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
