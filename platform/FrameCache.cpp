#include "platform/FrameCache.h"

#include <QPaintEvent>
#include <QPainter>
#include <QStyleOptionGroupBox>

namespace kvam {

void CachedGroupBox::paintEvent(QPaintEvent* event)
{
    QStyleOptionGroupBox option;
    initStyleOption(&option);
    const qreal ratio = devicePixelRatioF();
    const Key key{option.rect.size(),
                  option.text,
                  option.state,
                  option.subControls,
                  option.activeSubControls,
                  option.palette.cacheKey(),
                  font().key(),
                  ratio,
                  style()};
    if (m_picture.isNull() || !(key == m_key)) {
        m_picture = QPixmap(option.rect.size() * ratio);
        m_picture.setDevicePixelRatio(ratio);
        m_picture.fill(Qt::transparent);
        QPainter p(&m_picture);
        // What a painter on the widget starts with.
        p.setFont(font());
        p.setPen(palette().color(foregroundRole()));
        style()->drawComplexControl(QStyle::CC_GroupBox, &option, &p, this);
        m_key = key;
    }
    QPainter p(this);
    for (const QRect& r : event->region())
        p.drawPixmap(r, m_picture, QRectF(QPointF(r.topLeft()) * ratio, QSizeF(r.size()) * ratio));
}

} // namespace kvam
