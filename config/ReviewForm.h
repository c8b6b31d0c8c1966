#pragma once

#include "config/ReviewRows.h"
#include "device/DeviceModel.h"

#include <QDialog>

#include <vector>

class QCheckBox;
class QLabel;
class QPushButton;
class QTableWidget;

namespace kvam {

struct UserPrompts;

/// The modal review of a write: which meter and records it goes to, every element it changes
/// (caption, name, the meter's value, the new value, unit), and for records of another meter a
/// warning with the choice to write that meter's factory data and calibration (RAM3) as well.
/// "Írás" accepts, "Mégse" rejects; with nothing to change only "Bezárás" is offered. Texts are
/// taken in the language shown when the dialog is built.
class ReviewForm : public QDialog
{
    Q_OBJECT
public:
    static constexpr int kClientWidth = 760;
    static constexpr int kClientHeight = 460;

    /// The review of `proposal`, standing over `window`; captions and values from the field table in
    /// the language the window shows.
    ReviewForm(const WriteProposal& proposal, QWidget* window);

    const std::vector<ReviewRow>& rows() const { return m_rows; }
    /// The answer, given whether the dialog was accepted: nothing is written when nothing changes.
    ReviewDecision decision(bool accepted) const;
    /// The user asked not to be asked again until the program closes.
    bool dontAskAgain() const;

    /// Moves the window so that it stands over the centre of `mainWindow`.
    void placeOver(const QWidget* mainWindow);

protected:
    void showEvent(QShowEvent* event) override;

private:
    /// Rows of RAM3 show greyed while another meter's factory data is left out.
    void showFactoryRows();

    std::vector<ReviewRow> m_rows;
    bool m_foreign = false;
    QTableWidget* m_table = nullptr;
    QCheckBox* m_includeFactory = nullptr;
    QCheckBox* m_dontAsk = nullptr;
};

/// Shows the review of `proposal` over `window` through `prompts.runDialog` and gives the user's
/// answer; `dontAskAgain` (when given) tells whether the user ticked ReviewDontAsk.
ReviewDecision reviewInDialog(const WriteProposal& proposal, QWidget* window, UserPrompts& prompts,
                              bool* dontAskAgain = nullptr);

} // namespace kvam
