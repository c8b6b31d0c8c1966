#include "platform/LabeledEdit.h"

#include "platform/FrameCache.h"

namespace kvam {

LabeledEdit::LabeledEdit(const QString& name, const QString& caption, QWidget* parent)
    : QLineEdit(parent), m_label(new QLabel(caption, parent))
{
    setObjectName(name);
    m_label->setObjectName(name + QStringLiteral("Label"));
    m_label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_label->setBuddy(this);

    setReadOnly(true);
    setFocusPolicy(Qt::NoFocus);
    setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    // The meter's front-end look; where the font is missing the sans-serif hint picks a stand-in.
    QFont f(QStringLiteral("MS Sans Serif"), 8, QFont::Bold);
    f.setStyleHint(QFont::SansSerif);
    setFont(f);
    QPalette pal = palette();
    pal.setColor(QPalette::Text, QColor(0, 0, 128));
    setPalette(pal);
    // The field text is padded to a fixed width; keep the frame margins small so it fits.
    setTextMargins(0, 0, 0, 0);
    // Fields are refreshed several times a second: their panel comes from a kept picture.
    if (QStyle* style = CachedPanelStyle::forFields())
        setStyle(style);
    resize(kWidth, kHeight);
    setText(QStringLiteral("-"));
}

LabeledEdit::~LabeledEdit()
{
    // The caption lives and dies with its field, also when the field is deleted on its own.
    delete m_label.data();
}

LabeledEdit* LabeledEdit::create(QWidget* parent, const QString& name, const QString& caption, int x, int y,
                                 int labelWidth)
{
    auto* edit = new LabeledEdit(name, caption, parent);
    edit->place(x, y, labelWidth);
    return edit;
}

void LabeledEdit::place(int x, int y, int labelWidth)
{
    setGeometry(x, y, kWidth, kHeight);
    m_label->setGeometry(x - kLabelGap - labelWidth, y, labelWidth, kHeight);
}

QString LabeledEdit::caption() const
{
    return m_label->text();
}

void LabeledEdit::setCaption(const QString& text)
{
    m_label->setText(text);
}

void LabeledEdit::setVisible(bool visible)
{
    QLineEdit::setVisible(visible);
    m_label->setVisible(visible);
}

} // namespace kvam
