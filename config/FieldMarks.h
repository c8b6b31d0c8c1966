#pragma once

#include "records/RecordDiff.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include <span>

class QWidget;

namespace kvam {

/// Marks the editors of the elements a meter read back otherwise than they were written: a red
/// background and text (the dynamic property `kProperty` and a style sheet of the control's own)
/// and the tooltip "Beírva: X" / "Written: X" with the written value as the editor shows it. The
/// editors themselves show what the meter holds (the read-back replaced the image). A control's
/// own style sheet and tooltip come back when its mark goes.
class FieldMarks : public QObject
{
    Q_OBJECT
public:
    /// The dynamic property a marked control carries: the written value's text.
    static constexpr char kProperty[] = "writtenDiffers";

    /// Marks controls under `window`.
    explicit FieldMarks(QWidget* window, QObject* parent = nullptr);
    ~FieldMarks() override;

    /// The meter gave its verdict on a write of `record`: the record's marks go, and each element of
    /// `differences` (before = written, after = read back) is marked.
    void writeVerified(MemoryRecord record, std::span<const FieldChange> differences);
    /// The record was read again at the user's request: its marks go.
    void clear(MemoryRecord record);

    /// The controls marked now.
    QList<QWidget*> marked() const;

private:
    struct Mark
    {
        MemoryRecord record;
        QPointer<QWidget> control;
        QString styleSheet; ///< the control's own, back when the mark goes
        QString toolTip;
    };
    void mark(MemoryRecord record, QWidget* control, const QString& written);
    void unmark(const Mark& m);

    QWidget* m_window;
    QList<Mark> m_marks;
};

} // namespace kvam
