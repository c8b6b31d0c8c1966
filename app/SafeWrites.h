#pragma once

#include "config/MeterHistory.h"

#include <QObject>
#include <QPointer>

#include <memory>

class QWidget;

namespace kvam {

class DeviceModel;
class FieldMarks;
class LinkDriver;
struct ReviewDecision;
struct UserPrompts;
struct WriteProposal;

/// The window's side of the safe writes: the history of every meter's backups and journal, the
/// login name the journal records, the review of each write before it goes (when asked for), the
/// outcome of each write in the monitor and, where the user must act, in a message, and the marks
/// on the editors of the elements the meter holds otherwise than they were written.
class SafeWrites : public QObject
{
    Q_OBJECT
public:
    /// `review`: every write is shown to the user through `prompts.reviewWrite` (whose default,
    /// the review dialog over `window`, is set here) until the user asks not to be asked again.
    SafeWrites(DeviceModel& model, LinkDriver& link, UserPrompts& prompts,
               std::unique_ptr<MeterHistory> history, bool review, QWidget* window);
    ~SafeWrites() override;

    /// Every meter's backups and journal.
    MeterHistory& history() const { return *m_history; }
    /// "Restore": the meter's backups over `window`; the one chosen is written through the review.
    void openRestore(QWidget* window);
    FieldMarks& marks() const { return *m_marks; }
    /// Writes are still reviewed: review is on and the user has not asked to stop it.
    bool reviewing() const { return m_review && m_askAgain; }

private:
    ReviewDecision review(const WriteProposal& proposal);
    void finished(const JournalEntry& entry);

    /// The window makes the model first, so the model is gone by the time the window deletes this.
    QPointer<DeviceModel> m_model;
    UserPrompts& m_prompts;
    std::unique_ptr<MeterHistory> m_history;
    FieldMarks* m_marks = nullptr;
    bool m_review = false;
    bool m_askAgain = true;
};

} // namespace kvam
