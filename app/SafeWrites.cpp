#include "app/SafeWrites.h"

#include "config/RestoreDialog.h"
#include "device/DeviceModel.h"
#include "link/LinkDriver.h"
#include "platform/UserPrompts.h"
#include "texts/UiTexts.h"

#include <QStringList>

namespace kvam {

SafeWrites::SafeWrites(DeviceModel& model, LinkDriver& link, UserPrompts& prompts,
                       std::unique_ptr<MeterHistory> history, QObject* parent)
    : QObject(parent), m_model(model), m_prompts(prompts), m_history(std::move(history))
{
    m_model.setHistory(m_history.get());
    m_model.setUserName(userLoginName());
    connect(&m_model, &DeviceModel::notice, &link, &LinkDriver::monitorText);
    connect(&m_model, &DeviceModel::writeFinished, this, &SafeWrites::finished);
    connect(&m_model, &DeviceModel::writeRefused, this, [this](MemoryRecord record, const QString& reason) {
        m_prompts.showError(
            currentText("Message.WriteRefused").arg(QLatin1String(memoryRecordName(record)), reason));
    });
}

void SafeWrites::openRestore(QWidget* window)
{
    RestoreDialog dialog(*m_history, m_model, window);
    if (m_prompts.runDialog(dialog) && dialog.chosen())
        m_model.restore(*dialog.chosen());
}

SafeWrites::~SafeWrites()
{
    m_model.setHistory(nullptr);
}

void SafeWrites::finished(const JournalEntry& entry)
{
    const QString meter = entry.Gyartasiszam ? QString::number(entry.Gyartasiszam) : QStringLiteral("?");
    const QString record = QLatin1String(memoryRecordName(entry.record));
    switch (entry.outcome) {
    case WriteOutcome::Verified:
        break; // the monitor says so; nothing for the user to do
    case WriteOutcome::Differs: {
        QStringList rows;
        for (const FieldChange& c : entry.differences)
            rows << currentText("Message.WriteDiffersRow")
                        .arg(QString::fromStdString(c.name()))
                        .arg(c.before, 0, 'g', 10)
                        .arg(c.after, 0, 'g', 10);
        m_prompts.showError(
            currentText("Message.WriteDiffers").arg(meter, record, rows.join(QLatin1Char('\n'))));
        break;
    }
    case WriteOutcome::NotAcknowledged:
        break; // a load replaced it or the program ends: the monitor and the journal say so
    case WriteOutcome::OtherMeter:
        m_prompts.showError(
            currentText("Message.WriteOtherMeter")
                .arg(meter, record,
                     entry.otherMeter ? QString::number(*entry.otherMeter) : QStringLiteral("?")));
        break;
    }
}

} // namespace kvam
