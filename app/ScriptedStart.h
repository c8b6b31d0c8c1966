#pragma once

namespace kvam {

struct UserPrompts;

/// For a start that a script runs (--screenshot, --report): every message goes to standard error
/// instead of a box that waits for a click, dialogs and file choices are answered "cancel", writes
/// are refused, and a refused meter ends the program with kScriptRefused.
void answerOnStandardError(UserPrompts& prompts);

} // namespace kvam
