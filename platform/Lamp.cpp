#include "platform/Lamp.h"

#include <QPainter>
#include <QPainterPath>

namespace kvam {

Lamp::Lamp(Shape shape, QColor color, QWidget* parent) : QWidget(parent), m_shape(shape), m_color(color) {}

void Lamp::setColor(const QColor& c)
{
    if (c == m_color)
        return;
    m_color = c;
    update();
}

void Lamp::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(64, 64, 64), 1));
    p.setBrush(m_color);
    const QRectF r = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    switch (m_shape) {
    case Shape::RoundRect:
        p.drawRoundedRect(r, 3, 3);
        break;
    case Shape::Square:
        p.drawRect(r);
        break;
    case Shape::Circle:
        p.drawEllipse(r);
        break;
    case Shape::Arrow: {
        // A flag pointing right, like a small pennant.
        QPainterPath path;
        const qreal tip = r.right(), mid = r.center().y(), body = r.left() + r.width() * 0.6;
        path.moveTo(r.left(), r.top() + r.height() * 0.2);
        path.lineTo(body, r.top() + r.height() * 0.2);
        path.lineTo(body, r.top());
        path.lineTo(tip, mid);
        path.lineTo(body, r.bottom());
        path.lineTo(body, r.bottom() - r.height() * 0.2);
        path.lineTo(r.left(), r.bottom() - r.height() * 0.2);
        path.closeSubpath();
        p.drawPath(path);
        break;
    }
    }
}

} // namespace kvam
