#pragma once

#include "config/MeterHistory.h"

#include <QDialog>

#include <optional>
#include <vector>

class QComboBox;
class QLabel;
class QPushButton;
class QTableWidget;

namespace kvam {

class DeviceModel;

/// "Restore": a meter's backups (time, records, how many fields differ from the meter now), the
/// difference of the one chosen, and the meter's write journal. Accepted with a backup chosen
/// whose records load; the caller writes them through the review.
class RestoreDialog : public QDialog
{
    Q_OBJECT
public:
    RestoreDialog(MeterHistory& history, const DeviceModel& model, QWidget* parent = nullptr);

    /// Shows the backups and journal of `meter`.
    void showMeter(std::uint32_t meter);
    /// The records of the backup chosen, once accepted.
    const std::optional<MeterRecords>& chosen() const { return m_chosen; }
    /// The backups listed, newest first.
    const std::vector<BackupInfo>& backups() const { return m_backups; }

private:
    void select(int row);
    void restore();
    /// The fields of `records` that differ from the meter's records as last read.
    std::vector<FieldChange> differences(const MeterRecords& records) const;

    MeterHistory& m_history;
    const DeviceModel& m_model;
    QComboBox* m_meters = nullptr;
    QTableWidget* m_list = nullptr;
    QTableWidget* m_diff = nullptr;
    QTableWidget* m_journal = nullptr;
    QLabel* m_note = nullptr;
    QPushButton* m_restore = nullptr;
    std::vector<BackupInfo> m_backups;
    std::optional<MeterRecords> m_chosen;
};

} // namespace kvam
