#include "app/SafeWrites.h"

#include "config/FieldMarks.h"
#include "config/RestoreDialog.h"
#include "config/ReviewForm.h"
#include "device/DeviceModel.h"
#include "device/WriteNotice.h"
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
                const WriteNotice n =
                    WriteNotice::of(WriteNotice::Kind::FactoryKept, MemoryRecord::Ram3, owner, meter);
                m_prompts.showError(writeNoticeText(n, currentLanguage()) + QStringLiteral(".\n") +
                                    currentText("Write.FactoryKeptAdvice"));
            });
    connect(m_model, &DeviceModel::writeRefused, this, [this](MemoryRecord record, const QString& reason) {
        m_prompts.showError(writeNoticeText(
            WriteNotice::of(WriteNotice::Kind::NoBackup, record, m_model->lineMeter(), std::nullopt, reason),
            currentLanguage()));
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
    // The meter's verdict on what it holds now; a write that did not reach it leaves the marks.
    if (entry.outcome == WriteOutcome::Verified || entry.outcome == WriteOutcome::Differs)
        m_marks->writeVerified(entry.record, entry.differences);
    // A verified write the monitor reports; one not acknowledged was replaced by a load or the
    // program ends, and the monitor and the journal say so. The others need the user.
    if (entry.outcome == WriteOutcome::Differs || entry.outcome == WriteOutcome::OtherMeter)
        m_prompts.showError(writeNoticeText(noticeOf(entry), currentLanguage()));
}

} // namespace kvam
