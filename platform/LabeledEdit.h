#pragma once

#include <QLabel>
#include <QLineEdit>
#include <QPointer>

namespace kvam {

/// A read-only value field with its caption at the left: 97 x 21, right-aligned navy bold text,
/// "-" until the first value arrives. The field carries the control name as objectName, the
/// caption label the control name + "Label" (the language switch finds it by that name).
class LabeledEdit : public QLineEdit
{
    Q_OBJECT
public:
    static constexpr int kWidth = 97;
    static constexpr int kHeight = 21;
    static constexpr int kLabelGap = 4;

    /// Creates the field and its caption as children of `parent`; both still need a position.
    LabeledEdit(const QString& name, const QString& caption, QWidget* parent);
    ~LabeledEdit() override;

    /// Creates a field at (x, y) with its caption right-aligned in the `labelWidth` pixels
    /// before it.
    static LabeledEdit* create(QWidget* parent, const QString& name, const QString& caption, int x, int y,
                               int labelWidth);

    /// Puts the field at (x, y) and the caption in the `labelWidth` pixels to its left.
    void place(int x, int y, int labelWidth);

    QLabel* label() const { return m_label; }
    QString caption() const;
    void setCaption(const QString& text);

    /// Shows `text`; a field already showing it is left alone (no new layout, no repaint), which
    /// matters when a page is refreshed several times a second.
    void showText(const QString& text)
    {
        if (text != this->text())
            setText(text);
    }

    /// Shows or hides the caption together with the field.
    void setVisible(bool visible) override;

private:
    QPointer<QLabel> m_label; // a sibling, so that it can stand outside the field
};

} // namespace kvam
