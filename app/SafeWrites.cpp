#include "app/SafeWrites.h"

#include "config/FieldMarks.h"
#include "config/RestoreDialog.h"
#include "config/ReviewForm.h"
#include "device/DeviceModel.h"
#include "link/LinkDriver.h"
#include "platform/UserPrompts.h"
#include "texts/UiTexts.h"

#include <QStringList>

namespace kvam {

SafeWrites::SafeWrites(DeviceModel& model, LinkDriver& link, UserPrompts& prompts,
                       std::unique_ptr<MeterHistory> history, bool review, QWidget* window)
    : QObject(window), m_model(&model), m_prompts(prompts), m_history(std::move(history)),
      m_marks(new FieldMarks(window, this)), m_review(review)
{
    m_model->setHistory(m_history.get());
    m_model->setUserName(userLoginName());
    connect(m_model, &DeviceModel::notice, &link, &LinkDriver::monitorText);
    connect(m_model, &DeviceModel::writeFinished, this, &SafeWrites::finished);
    connect(m_model, &DeviceModel::foreignFactoryKept, this,
            [this](std::uint32_t owner, std::uint32_t meter) {
                m_prompts.showError(currentText("Message.ForeignFactoryKept").arg(owner).arg(meter));
            });
    connect(m_model, &DeviceModel::writeRefused, this, [this](MemoryRecord record, const QString& reason) {
        m_prompts.showError(
            currentText("Message.WriteRefused").arg(QLatin1String(memoryRecordName(record)), reason));
    });
    connect(m_model, &DeviceModel::configReadAsked, this, [this] {
        m_marks->clear(MemoryRecord::Ram2);
        m_marks->clear(MemoryRecord::Ram3);
    });

    m_prompts.reviewWrite = [this, window](const WriteProposal& proposal) {
        bool dontAsk = false;
        const ReviewDecision decision = reviewInDialog(proposal, window, m_prompts, &dontAsk);
        if (dontAsk)
            m_askAgain = false;
        return decision;
    };
    if (m_review)
        m_model->setReviewer([this](const WriteProposal& proposal) { return this->review(proposal); });
}

void SafeWrites::openRestore(QWidget* window)
{
    RestoreDialog dialog(*m_history, *m_model, window);
    if (m_prompts.runDialog(dialog) && dialog.chosen())
        m_model->restore(*dialog.chosen());
}

SafeWrites::~SafeWrites()
{
    if (!m_model)
        return;
    m_model->setHistory(nullptr);
    if (m_review)
        m_model->setReviewer(nullptr);
}

ReviewDecision SafeWrites::review(const WriteProposal& proposal)
{
    // Once the user asked not to be asked, a write goes as if there were no review: another
    // meter's factory data and calibration then stay out.
    if (!m_askAgain || !m_prompts.reviewWrite)
        return ReviewDecision{true, false};
    return m_prompts.reviewWrite(proposal);
}

void SafeWrites::finished(const JournalEntry& entry)
{
    const QString meter = entry.Gyartasiszam ? QString::number(entry.Gyartasiszam) : QStringLiteral("?");
    const QString record = QLatin1String(memoryRecordName(entry.record));
    // The meter's verdict on what it holds now; a write that did not reach it leaves the marks.
    if (entry.outcome == WriteOutcome::Verified || entry.outcome == WriteOutcome::Differs)
        m_marks->writeVerified(entry.record, entry.differences);
    switch (entry.outcome) {
    case WriteOutcome::Verified:
        break; // the monitor says so; nothing for the user to do
    case WriteOutcome::Differs: {
        const QStringList rows = differenceRows(entry.differences, currentText("Message.WriteDiffersRow"));
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
