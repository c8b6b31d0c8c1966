#pragma once

#include "records/Field.h"
#include "records/RecordDiff.h"
#include "texts/UiTexts.h"

#include <QString>

#include <array>
#include <cstddef>
#include <optional>
#include <span>

namespace kvam {

// The one table of the configuration (RAM2) and factory (RAM3) fields: the settings file's keys,
// the editors' kinds, limits and formats, and how the window names and shows every element
// (captions, units, list entries and lamps as keys of the text table). The editors are built from
// it and the review, the report and the command line render values from it, so a value reads the
// same wherever it is shown. QtCore only.

/// How a value is written to the settings file.
enum class SettingKind
{
    Integer, ///< signed 32-bit decimal
    Float,   ///< shortest form, up to 15 significant digits
};

/// Where a row's keys stand in a section: one key, a run of indexed keys, or one key per index in
/// the output-by-output (channel-by-channel) block of the record's section.
enum class KeyOrder
{
    Single,   ///< "DinPolarity"
    Run,      ///< "Áttétel_0" ... "Áttétel_5" one after the other
    PerIndex, ///< index 0 of every PerIndex row, then index 1 of every one, ...
};

/// How the editor shows and packs a field, and so how its value reads.
enum class EditorKind
{
    None,        ///< no control: carried unchanged; reads as a plain number
    Number,      ///< a numeric edit per element: shown = stored / scale in its pattern
    Choice,      ///< a drop-down list per element: the item index is the code
    ChoicePlus1, ///< a drop-down list per element: code = item index + 1
    Mask,        ///< an error-lamp group per element: the 32-bit mask, read as its lamps
    Composed,    ///< several controls make one value (DinPolarity ...); reads as a plain number
};

/// A numeric edit's limits, display pattern, step and start value.
struct NumberEditor
{
    double minimum;
    double maximum;
    const char* format; ///< "#0.0000#": '0' an always shown digit, '#' one shown when not zero
    double step;
    double initial;
    bool limited = true; ///< false: the edit takes any value
};

/// The pages that show fields, in the window's tab order: the outer tab's key and, on the
/// configuration page, the inner tab's.
enum class FieldPage
{
    None, ///< no page shows the field
    Calibration,
    Factory,
    Measuring,
    Modul1,
    Modul2,
    LedMask,
    Demand,
    Harmonics,
};
struct FieldPageKeys
{
    const char* page;
    const char* tab; ///< nullptr on a page without inner tabs
};
/// The text keys of `page`'s tabs; both null for FieldPage::None.
FieldPageKeys fieldPageKeys(FieldPage page);
/// The inner tabs of the configuration page, in their order.
std::span<const FieldPage> configTabs();

inline constexpr std::size_t kMaxControls = 6;
using FieldKeys = std::array<const char*, kMaxControls>;

/// The bits an error-lamp group shows (0 to 19); the editor writes the others 0.
inline constexpr quint32 kErrorMaskBits = 0xFFFFF;

/// Plain numbers (fields without an editor, composed values, codes without an item): integers
/// whole, floats with the digits a single holds.
inline constexpr char kPlainFloatFormat[] = "%.7g";

/// One field of a memory record: its row in the record table, its settings key and load default,
/// its controls, and how the window names and shows each element.
struct ConfigField
{
    const char* field;    ///< the record table's field name (records/Records.h)
    const char* key;      ///< settings key (UTF-8); indexed keys end in "_" and get the index
    SettingKind kind;     ///< how the settings file writes it
    double fallback;      ///< value taken when the key is missing or does not parse
    KeyOrder order;       ///< where its keys stand in the section
    std::size_t keyCount; ///< keys written (1 for Single)
    EditorKind editor;    ///< how the page shows it
    /// The control per element; for a composed field the controls that make it up. A choice's
    /// item list is keyed by its control's name in the item table (texts/UiItems).
    FieldKeys controls{};
    NumberEditor number{}; ///< for EditorKind::Number
    /// For six-channel fields whose current channels (L1 I, L2 I, L3 I: odd elements) have other
    /// limits than the voltage channels; unused when `hasCurrentEditor` is false.
    NumberEditor currentNumber{};
    bool hasCurrentEditor = false;
    FieldPage page = FieldPage::None;
    /// The text key of each element's caption: the label beside its control, the control's caption
    /// label, or for a lamp group and a composed value its group's title; null: no page shows it.
    FieldKeys captions{};
    /// The text key of the group box around each element's control; an element without one of
    /// its own stands in the first element's.
    FieldKeys groups{};
    const char* unit = nullptr;        ///< shown beside the value; null: none
    const char* currentUnit = nullptr; ///< the current channels' (odd elements) where it differs
    quint32 lamps = 0;                 ///< the bits a Mask field's lamps show (error flags 0..19)

    /// The row of the record table this entry names (never null for the tables below).
    const FieldInfo& info() const;
    /// The editor of element `index`.
    const NumberEditor& numberEditor(std::size_t index) const
    {
        return hasCurrentEditor && index % 2 == 1 ? currentNumber : number;
    }
    /// Whether a page shows element `index`.
    bool shown(std::size_t index) const { return index < kMaxControls && captions[index]; }
    /// The key of element `index`'s group box; null when no page shows the element.
    const char* group(std::size_t index) const;
};

/// The RAM2 fields in the order the settings file writes them.
std::span<const ConfigField> ram2ConfigFields();
/// The RAM3 fields in the order the settings file writes them (after the RAM2 ones).
std::span<const ConfigField> ram3ConfigFields();

/// The entry with that field name, or nullptr.
const ConfigField* findConfigField(std::span<const ConfigField> table, const char* field);
/// The entry of a memory record's field; nullptr where no table has it (RAM1, carried bytes).
const ConfigField* configFieldOf(MemoryRecord record, const FieldInfo* field);
const ConfigField* configFieldOf(const FieldChange& change);

// Rendering. `language` is the language the texts are wanted in; without one, the start texts
// the window shows until its language is first switched (the window passes its shownLanguage(),
// platform/LanguageSwitch.h; the command line currentLanguage()).

/// A text of the table as shown, trimmed, without a closing colon: a caption, a group's title.
QString fieldText(const char* key, std::optional<Language> language);

/// The caption of element `index` of `field` as its page shows it, without a closing colon; the
/// field's name where no page shows it.
QString fieldCaption(MemoryRecord record, const FieldInfo& field, std::size_t index,
                     std::optional<Language> language);

/// The unit shown beside element `index` of `field`: "%", "mA", "s" ...; empty where it has none
/// (list entries carry their own).
QString fieldUnit(MemoryRecord record, const FieldInfo& field, std::size_t index);

/// The text the window shows for the stored value `stored` of element `index` of `field`: a number
/// as its edit shows it (stored / scale in the edit's pattern, with the locale's decimal point), a
/// code as its list entry, a mask as its lit lamps ("+ L1 letörés, + 20. bit"; empty when none
/// is lit), a composed value, a code without an entry and a field without an editor as a plain
/// number.
QString fieldValueText(MemoryRecord record, const FieldInfo& field, std::size_t index, double stored,
                       std::optional<Language> language);

/// Everything a row of a changed element shows: caption, the two values and the unit. The values
/// read as fieldValueText() gives them, except a mask's: the lamps that differ, each with its state
/// ("+" lit, "−" dark) on either side.
struct ChangeTexts
{
    QString caption;
    QString before;
    QString after;
    QString unit;
};
ChangeTexts changeTexts(const FieldChange& change, std::optional<Language> language);

} // namespace kvam
