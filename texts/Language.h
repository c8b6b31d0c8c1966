#pragma once

#include "texts/UiTexts.h"

#include <QStringList>

#include <optional>
#include <span>

namespace kvam {

// The switched texts are the rows of the text table (texts/UiTexts.h) that have language columns.
// Here: what the language switch does besides setting them.

/// The item list of a drop-down box in each language. The item index is the code the meter
/// stores, so both lists have the same length and order.
struct LanguageItems
{
    const char* control;
    std::span<const char* const> hungarian;
    std::span<const char* const> english;

    QStringList items(Language language) const;
};

/// The eleven boxes that get a list per language.
std::span<const LanguageItems> languageItemLists();

/// A copy made after the texts and lists are set: `target` takes the caption (or, for lists, the
/// items) that `source` shows in the chosen language.
struct LanguageCopy
{
    const char* source;
    const char* target;
};

/// The boxes of the second outputs that take the list of their first-output twin.
std::span<const LanguageCopy> languageListCopies();

/// The labels and panels of the second outputs that take the caption of their first-output twin.
std::span<const LanguageCopy> languageLabelCopies();

/// The boxes emptied before any text is set (the other rebuilt boxes are emptied when refilled).
std::span<const char* const> languageListsEmptiedFirst();

/// The boxes whose selected index is remembered before the lists are rebuilt and restored after.
std::span<const char* const> languageRememberedSelections();

/// The error lamps are paired by status bit: for bits 0 .. kLanguageLampBits - 1 the lamp of each
/// target group takes the caption of the lamp of the same bit in the source group. Groups are
/// named by their bit-0 lamp.
inline constexpr int kLanguageLampBits = 20;
inline constexpr const char* kLanguageLampSource = "DinLeds";
std::span<const char* const> languageLampTargets();

/// The text the control (or message) `key` shows in `language` once the switch has run: its row's
/// column, or for a label that takes its first-output twin's caption, the twin's; with no language
/// (nothing switched yet) the start text. Empty for a key the table does not hold.
QString shownText(const char* key, std::optional<Language> language);
/// The items the drop-down box `box` shows in `language` once the switch has run (its own list
/// in that language, its first-output twin's, or the start list no switch replaces); with no
/// language the start items.
QStringList shownItems(const char* box, std::optional<Language> language);

/// The captions of the error flags set in `bits` (bit 0 first), in the language shown now.
QStringList errorFlagNames(quint32 bits);
/// Item `code` of the drop-down box `box` in the language shown now ("code N" past its items).
QString itemTextOf(const char* box, int code);

} // namespace kvam
