#pragma once

#include "records/Field.h"

#include <array>
#include <cstddef>
#include <span>

namespace kvam {

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

/// How the editor shows and packs a field.
enum class EditorKind
{
    None,        ///< no control: carried unchanged
    Number,      ///< a numeric edit per element: shown = stored / scale, packed rounded (integers)
    Choice,      ///< a drop-down list per element: the item index is the code
    ChoicePlus1, ///< a drop-down list per element: code = item index + 1
    Mask,        ///< an error-lamp group per element: the 32-bit mask
    Composed,    ///< several controls make one value; the page composes it (DinPolarity ...)
};

/// A numeric edit's limits, display format, step and start value.
struct NumberEditor
{
    double minimum;
    double maximum;
    const char* format; ///< "#0.0000#": '0' an always shown digit, '#' one shown when not zero
    double step;
    double initial;
    bool limited = true; ///< false: the edit takes any value
};

inline constexpr std::size_t kMaxControls = 6;

/// One field of a memory record as the configuration sees it: its row in the record table, its
/// settings key, its load default, and its controls. One table per record serves the editor's
/// display and packing and the settings file's save and load.
struct ConfigField
{
    const char* field;    ///< the record table's field name (records/Records.h)
    const char* key;      ///< settings key (UTF-8); indexed keys end in "_" and get the index
    SettingKind kind;     ///< how the settings file writes it
    double fallback;      ///< value taken when the key is missing or does not parse
    KeyOrder order;       ///< where its keys stand in the section
    std::size_t keyCount; ///< keys written (1 for Single)
    EditorKind editor;    ///< how the page shows it
    std::array<const char*, kMaxControls> controls{}; ///< control per element; nullptr: carried
    NumberEditor number{};                            ///< for EditorKind::Number
    /// For six-channel fields whose current channels (L1 I, L2 I, L3 I: odd elements) have other
    /// limits than the voltage channels; unused when `hasCurrentEditor` is false.
    NumberEditor currentNumber{};
    bool hasCurrentEditor = false;

    /// The row of the record table this entry names (never null for the tables below).
    const FieldInfo& info() const;
    /// The editor of element `index`.
    const NumberEditor& numberEditor(std::size_t index) const
    {
        return hasCurrentEditor && index % 2 == 1 ? currentNumber : number;
    }
};

/// The RAM2 fields in the order the settings file writes them.
std::span<const ConfigField> ram2ConfigFields();
/// The RAM3 fields in the order the settings file writes them (after the RAM2 ones).
std::span<const ConfigField> ram3ConfigFields();

/// The entry with that field name, or nullptr.
const ConfigField* findConfigField(std::span<const ConfigField> table, const char* field);

} // namespace kvam
