#pragma once

#include "config/MeterHistory.h"

#include <QObject>

class QWidget;

#include <memory>

namespace kvam {

class DeviceModel;
class LinkDriver;
struct UserPrompts;

/// The window's side of the safe writes: the history of every meter's backups and journal, the
/// login name the journal records, the outcome of each write in the monitor and, where the user must act, in
/// a message.
class SafeWrites : public QObject
{
    Q_OBJECT
public:
    SafeWrites(DeviceModel& model, LinkDriver& link, UserPrompts& prompts,
               std::unique_ptr<MeterHistory> history, QObject* parent = nullptr);
    ~SafeWrites() override;

    /// Every meter's backups and journal.
    MeterHistory& history() const { return *m_history; }
    /// "Restore": the meter's backups over `window`; the one chosen is written through the review.
    void openRestore(QWidget* window);

private:
    void finished(const JournalEntry& entry);

    DeviceModel& m_model;
    UserPrompts& m_prompts;
    std::unique_ptr<MeterHistory> m_history;
};

} // namespace kvam
