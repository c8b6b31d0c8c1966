#include "config/RestoreDialog.h"

#include "device/DeviceModel.h"
#include "texts/UiTexts.h"

#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>

namespace kvam {

namespace {

QTableWidget* table(QWidget* parent, const char* name, const QStringList& headers, const QRect& geometry)
{
    auto* t = new QTableWidget(0, int(headers.size()), parent);
    t->setWordWrap(false);
    t->setObjectName(QLatin1String(name));
    t->setHorizontalHeaderLabels(headers);
    t->setGeometry(geometry);
    t->setEditTriggers(QAbstractItemView::NoEditTriggers);
    t->setSelectionBehavior(QAbstractItemView::SelectRows);
    t->setSelectionMode(QAbstractItemView::SingleSelection);
    t->verticalHeader()->hide();
    t->horizontalHeader()->setStretchLastSection(true);
    return t;
}

void setRow(QTableWidget* t, int row, const QStringList& cells)
{
    for (int c = 0; c < int(cells.size()); ++c) {
        auto* item = new QTableWidgetItem(cells[c]);
        item->setToolTip(cells[c]); // a long reason or change list in full
        t->setItem(row, c, item);
    }
}

QString localTime(const QDateTime& t)
{
    return t.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
}

QString number(double v)
{
    return QString::number(v, 'g', 10);
}

template <class R>
void compare(std::vector<FieldChange>& out, MemoryRecord record, const std::optional<RecordImage<R>>& now,
             const std::optional<RecordImage<R>>& backup)
{
    if (now && backup)
        for (FieldChange& c : diffRecord(record, *now, *backup))
            out.push_back(c);
}

} // namespace

RestoreDialog::RestoreDialog(MeterHistory& history, const DeviceModel& model, QWidget* parent)
    : QDialog(parent), m_history(history), m_model(model)
{
    setObjectName(QStringLiteral("RestoreForm"));
    setWindowTitle(currentText("RestoreForm"));
    setModal(true);
    setFixedSize(720, 560);

    auto* meterLabel = new QLabel(currentText("RestoreForm.Meter"), this);
    meterLabel->setGeometry(12, 12, 120, 24);
    m_meters = new QComboBox(this);
    m_meters->setObjectName(QStringLiteral("RestoreMeter"));
    m_meters->setGeometry(136, 12, 160, 24);
    for (std::uint32_t meter : m_history.meters())
        m_meters->addItem(QString::number(meter), meter);
    m_note = new QLabel(this);
    m_note->setObjectName(QStringLiteral("RestoreNote"));
    m_note->setGeometry(310, 12, 398, 24);
    m_note->setWordWrap(true);

    m_list = table(this, "RestoreList",
                   {currentText("RestoreForm.Time"), currentText("RestoreForm.Written"),
                    currentText("RestoreForm.Records"), currentText("RestoreForm.Differs"),
                    currentText("RestoreForm.State")},
                   QRect(12, 44, 696, 150));
    m_list->setColumnWidth(0, 170);
    m_list->setColumnWidth(1, 60);
    m_list->setColumnWidth(2, 120);
    m_list->setColumnWidth(3, 160);
    m_diff = table(
        this, "RestoreDiff",
        {currentText("RestoreForm.Field"), currentText("RestoreForm.Now"), currentText("RestoreForm.Backup")},
        QRect(12, 202, 696, 160));
    m_diff->setColumnWidth(0, 220);
    m_diff->setColumnWidth(1, 220);
    auto* journalLabel = new QLabel(currentText("RestoreForm.Journal"), this);
    journalLabel->setGeometry(12, 368, 300, 20);
    m_journal = table(this, "RestoreJournal",
                      {currentText("RestoreForm.Time"), currentText("RestoreForm.User"),
                       currentText("RestoreForm.Records"), currentText("RestoreForm.Changes"),
                       currentText("RestoreForm.Outcome")},
                      QRect(12, 390, 696, 120));
    m_journal->setSelectionMode(QAbstractItemView::NoSelection);
    m_journal->setColumnWidth(0, 170);
    m_journal->setColumnWidth(1, 80);
    m_journal->setColumnWidth(2, 70);
    m_journal->setColumnWidth(3, 230);

    m_restore = new QPushButton(currentText("RestoreForm.Restore"), this);
    m_restore->setObjectName(QStringLiteral("RestoreWrite"));
    m_restore->setGeometry(476, 520, 110, 28);
    m_restore->setEnabled(false);
    auto* close = new QPushButton(currentText("RestoreForm.Close"), this);
    close->setObjectName(QStringLiteral("RestoreClose"));
    close->setGeometry(598, 520, 110, 28);

    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_restore, &QPushButton::clicked, this, &RestoreDialog::restore);
    connect(m_list, &QTableWidget::currentCellChanged, this, [this](int row) { select(row); });
    connect(m_meters, &QComboBox::currentIndexChanged, this,
            [this](int index) { showMeter(m_meters->itemData(index).toUInt()); });

    // The meter on the line first; another meter's backups only when the user picks them.
    const MeterRecords now = m_model.meterRecords();
    const int own = now.Gyartasiszam ? m_meters->findData(now.Gyartasiszam) : -1;
    if (own >= 0)
        m_meters->setCurrentIndex(own);
    if (m_meters->currentIndex() >= 0)
        showMeter(m_meters->currentData().toUInt());
    else
        m_note->setText(currentText("RestoreForm.NoBackups"));
}

std::vector<FieldChange> RestoreDialog::differences(const MeterRecords& records) const
{
    std::vector<FieldChange> out;
    const MeterRecords now = m_model.meterRecords();
    compare(out, MemoryRecord::Ram2, now.ram2, records.ram2);
    compare(out, MemoryRecord::Ram3, now.ram3, records.ram3);
    return out;
}

void RestoreDialog::showMeter(std::uint32_t meter)
{
    QString reason;
    m_backups = m_history.backups(meter, &reason);
    const std::optional<std::uint32_t> line = m_model.lineMeter();
    m_note->setText(!reason.isEmpty()        ? reason
                    : line && *line != meter ? currentText("RestoreForm.OtherMeter").arg(meter).arg(*line)
                                             : QString());
    m_list->setRowCount(int(m_backups.size()));
    for (int row = 0; row < int(m_backups.size()); ++row) {
        const BackupInfo& b = m_backups[std::size_t(row)];
        QStringList records;
        for (MemoryRecord r : b.records)
            records << QLatin1String(memoryRecordName(r));
        QString differs = QStringLiteral("-");
        if (!b.damaged && meter == m_model.meterRecords().Gyartasiszam) {
            if (const auto loaded = m_history.loadBackup(meter, b.id))
                differs = QString::number(differences(*loaded).size());
        }
        setRow(m_list, row,
               {localTime(b.time), b.written ? QLatin1String(memoryRecordName(*b.written)) : QString(),
                records.join(QLatin1Char(',')), differs,
                b.damaged ? currentText("RestoreForm.Damaged").arg(b.damage) : QString()});
    }
    std::size_t damaged = 0;
    const std::vector<JournalLine> journal = m_history.readJournal(meter, &reason, &damaged);
    m_journal->setRowCount(int(journal.size()));
    // The newest line first, as the backups.
    for (int row = 0; row < int(journal.size()); ++row) {
        const JournalLine& line = journal[journal.size() - 1 - std::size_t(row)];
        if (line.damaged)
            setRow(m_journal, row, {QString(), QString(), QString(), line.text});
        else
            setRow(m_journal, row,
                   {localTime(line.time), line.user, QLatin1String(memoryRecordName(line.record)),
                    line.changes, line.outcomeText});
    }
    if (damaged > 0)
        m_note->setText(reason);
    m_diff->setRowCount(0);
    m_restore->setEnabled(false);
    if (!m_backups.empty())
        m_list->setCurrentCell(0, 0);
}

void RestoreDialog::select(int row)
{
    m_diff->setRowCount(0);
    m_restore->setEnabled(false);
    if (row < 0 || row >= int(m_backups.size()))
        return;
    const BackupInfo& b = m_backups[std::size_t(row)];
    if (b.damaged)
        return;
    QString reason;
    const std::optional<MeterRecords> loaded = m_history.loadBackup(b.meter, b.id, &reason);
    if (!loaded) {
        m_note->setText(reason);
        return;
    }
    const std::vector<FieldChange> changes = differences(*loaded);
    m_diff->setRowCount(int(changes.size()));
    for (int i = 0; i < int(changes.size()); ++i) {
        const FieldChange& c = changes[std::size_t(i)];
        setRow(m_diff, i,
               {QStringLiteral("%1 %2").arg(QLatin1String(memoryRecordName(c.record)),
                                            QString::fromStdString(c.name())),
                number(c.before), number(c.after)});
    }
    m_restore->setEnabled(loaded->ram2 || loaded->ram3);
}

void RestoreDialog::restore()
{
    const int row = m_list->currentRow();
    if (row < 0 || row >= int(m_backups.size()))
        return;
    const BackupInfo& b = m_backups[std::size_t(row)];
    QString reason;
    m_chosen = m_history.loadBackup(b.meter, b.id, &reason);
    if (!m_chosen) {
        m_note->setText(reason); // damaged since it was listed: never written
        return;
    }
    accept();
}

} // namespace kvam
