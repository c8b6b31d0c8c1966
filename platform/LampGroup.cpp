#include "platform/LampGroup.h"

#include <QMouseEvent>

#include <algorithm>
#include <utility>

namespace kvam {

QList<LampGroup::Entry> LampGroup::entriesFor(const QStringList& captions, int first)
{
    QList<Entry> entries;
    for (int i = 0; i < captions.size(); ++i)
        entries.append(Entry{first + i, captions[i], QString()});
    return entries;
}

LampGroup::LampGroup(const QString& name, const QList<Entry>& entries, const Style& style, QWidget* parent)
    : QWidget(parent), m_name(name), m_style(style)
{
    setObjectName(name + QStringLiteral("Group"));
    const int perColumn = style.rowsPerColumn > 0 ? style.rowsPerColumn : int(entries.size());
    const int columnWidth = style.lampSize.width() + style.captionGap + style.captionWidth;
    const int lampTop = (style.rowHeight - style.lampSize.height()) / 2;
    int index = 0;
    for (const Entry& e : entries) {
        // Bits beyond 31 cannot be shown by a 32-bit word.
        if (e.bit < 0 || e.bit > 31)
            continue;
        const int column = perColumn > 0 ? index / perColumn : 0;
        const int row = perColumn > 0 ? index % perColumn : index;
        const int x = column * columnWidth;
        const int y = row * style.rowHeight;

        auto* lamp = new Lamp(style.shape, style.unlit, this);
        QString lampName = e.name;
        if (lampName.isEmpty())
            lampName = e.bit == 0 ? name : name + QString::number(e.bit);
        lamp->setObjectName(lampName);
        lamp->setGeometry(x, y + std::max(0, lampTop), style.lampSize.width(), style.lampSize.height());

        auto* caption = new QLabel(e.caption, this);
        caption->setObjectName(lampName + QStringLiteral("Label"));
        caption->setGeometry(x + style.lampSize.width() + style.captionGap, y, style.captionWidth,
                             style.rowHeight);
        caption->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);

        lamp->installEventFilter(this);
        caption->installEventFilter(this);
        m_items.append(Item{e.bit, lamp, caption});
        ++index;
    }
    const int columns = index == 0 ? 0 : (index + perColumn - 1) / perColumn;
    resize(columns * columnWidth, std::min(index, perColumn) * style.rowHeight);
}

void LampGroup::setStatus(quint32 status)
{
    m_status = status;
    paintLamps();
}

void LampGroup::setEditable(bool editable)
{
    m_editable = editable;
    for (const Item& item : std::as_const(m_items)) {
        item.lamp->setCursor(editable ? Qt::PointingHandCursor : Qt::ArrowCursor);
        item.caption->setCursor(editable ? Qt::PointingHandCursor : Qt::ArrowCursor);
    }
}

Lamp* LampGroup::lamp(int bit) const
{
    for (const Item& item : m_items)
        if (item.bit == bit)
            return item.lamp;
    return nullptr;
}

QLabel* LampGroup::captionLabel(int bit) const
{
    for (const Item& item : m_items)
        if (item.bit == bit)
            return item.caption;
    return nullptr;
}

QList<int> LampGroup::bits() const
{
    QList<int> bits;
    for (const Item& item : m_items)
        bits.append(item.bit);
    return bits;
}

bool LampGroup::eventFilter(QObject* watched, QEvent* event)
{
    if (m_editable && event->type() == QEvent::MouseButtonPress &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        for (const Item& item : std::as_const(m_items)) {
            if (watched == item.lamp || watched == item.caption) {
                toggle(item.bit);
                return true;
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

void LampGroup::toggle(int bit)
{
    m_status ^= (quint32(1) << bit);
    paintLamps();
    emit statusChanged(m_status);
}

void LampGroup::paintLamps()
{
    for (const Item& item : std::as_const(m_items))
        item.lamp->setColor((m_status >> item.bit) & 1u ? m_style.lit : m_style.unlit);
}

} // namespace kvam
