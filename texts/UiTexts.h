#pragma once

#include <QString>

#include <span>
#include <vector>

namespace kvam {

/// The two languages of the user interface.
enum class Language
{
    Hungarian,
    English
};

/// What the key of a text names.
enum class TextKind
{
    /// A control or window that shows the text from start-up: a window's title, a tab's caption, a
    /// group's title, a button's or check box's text, a label's text; for a lamp or a labelled
    /// field, the text of its caption label (the control name + "Label").
    Control,
    /// A text the program shows later: a message box, a file dialog, a caption a control takes on
    /// the way, a list entry, a word of a drawing.
    Message
};

/// One row of the text table: a key, the text shown from start-up and, in a row the language
/// switch sets, its English and Hungarian columns. All texts are UTF-8.
struct UiText
{
    const char* control; ///< the key: a control's name ("Window.Control" a dialog's control) or a message's
    const char* start;   ///< the text shown from start-up
    const char* english = nullptr;   ///< the English column; null in a row no language switches
    const char* hungarian = nullptr; ///< the Hungarian column where it differs from `start`, else null
    TextKind kind = TextKind::Control;

    /// Whether the language switch sets this text: a row with a language column.
    bool switched() const { return english || hungarian; }
    QString startText() const;
    /// The text in `language`; the start text in a row no language switches.
    QString text(Language language) const;
};

/// Every row of the text table, one per key.
std::span<const UiText> uiTexts();
/// The rows keyed by the control that shows them from start-up (messages have keys of their own).
std::vector<UiText> controlTexts();

/// The start text of `control`; an empty text for a name that has no entry.
QString uiText(const char* control);

/// The language shown now: the one chosen last, Hungarian until the first switch.
Language currentLanguage();
/// Records the language now shown; the language switch calls it.
void setCurrentLanguage(Language language);

/// The text of `key` as the user interface shows it now: the start text until the first switch,
/// then the column of the language chosen last. An empty text for a name that has no entry.
/// Messages built at the moment they are shown take their text from here.
QString currentText(const char* key);

/// The text of `key` in `language` (the start text in a row no language switches); an empty text
/// for a name that has no entry. For texts that do not follow the window, such as the command
/// line's, which speaks English.
QString textIn(const char* key, Language language);

} // namespace kvam
