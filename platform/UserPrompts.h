#pragma once

#include <QString>

#include <functional>

class QDialog;
class QWidget;

namespace kvam {

// The device model's write review (device/DeviceModel.h); the prompts only pass them on.
struct ReviewDecision;
struct WriteProposal;

/// A file dialog's request: what the window asks for when the user saves or opens a file.
struct FileRequest
{
    bool save = false;
    QString title;
    QString filter;
    QString defaultSuffix;
    QString folder; ///< the folder, or the file proposed in it
    bool confirmOverwrite = true;
};

/// How the pages reach the user with messages, dialogs and file choices. Each member can be
/// replaced: tests answer for the user, and a start with options for scripts never waits for a
/// click.
struct UserPrompts
{
    /// Message boxes and dialogs over `parent`.
    explicit UserPrompts(QWidget* parent);

    /// An error the user must see; work goes on.
    std::function<void(const QString&)> showError;
    /// The meter is refused (unsupported firmware): the program ends after the message.
    std::function<void(const QString&)> refuseDevice;
    /// A file failure: `text` is "Save error" or "Open error", `reason` what the system said.
    std::function<void(const QString& text, const QString& reason)> showFileError;
    /// Shows a modal dialog and tells whether it was accepted.
    std::function<bool(QDialog&)> runDialog;
    /// Asks for a line of text (a network address): the text given, or an empty text when
    /// cancelled.
    std::function<QString(const QString& title, const QString& label, const QString& initial)> askText;
    /// A file dialog: the chosen file, or an empty text when cancelled.
    std::function<QString(const FileRequest&)> chooseFile;
    /// Asks the user to confirm a write before it goes. The window's safe writes (app/SafeWrites)
    /// set the default: the review dialog (config/ReviewForm) over the window, shown through
    /// `runDialog`. Empty until then.
    std::function<ReviewDecision(const WriteProposal&)> reviewWrite;
};

} // namespace kvam
