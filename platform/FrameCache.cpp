#include "platform/FrameCache.h"

#include <QApplication>
#include <QPaintEvent>
#include <QPainter>
#include <QPixmapCache>
#include <QPointer>
#include <QStyleFactory>
#include <QStyleOptionFrame>
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

QStyle* CachedPanelStyle::forFields()
{
    static QPointer<QStyle> style;
    static QString madeFrom;
    QStyle* app = QApplication::style();
    if (!app)
        return nullptr;
    const QString name = app->name();
    if (!style || madeFrom != name) {
        QStyle* base = QStyleFactory::create(name);
        if (!base)
            return nullptr;
        // Owned by the application object, and so outlives every window.
        style = new CachedPanelStyle(base);
        style->setParent(qApp);
        madeFrom = name;
    }
    return style;
}

void CachedPanelStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                                     const QWidget* widget) const
{
    const auto* frame = qstyleoption_cast<const QStyleOptionFrame*>(option);
    if (element != PE_PanelLineEdit || !frame || option->rect.isEmpty()) {
        QProxyStyle::drawPrimitive(element, option, painter, widget);
        return;
    }
    const qreal ratio = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
    const QString key = QStringLiteral("kvam-panel-%1x%2-%3-%4-%5-%6-%7-%8-%9")
                            .arg(option->rect.width())
                            .arg(option->rect.height())
                            .arg(int(option->state))
                            .arg(option->palette.cacheKey())
                            .arg(frame->lineWidth)
                            .arg(frame->midLineWidth)
                            .arg(int(frame->features))
                            .arg(int(option->direction))
                            .arg(ratio);
    QPixmap picture;
    if (!QPixmapCache::find(key, &picture)) {
        picture = QPixmap(option->rect.size() * ratio);
        picture.setDevicePixelRatio(ratio);
        picture.fill(Qt::transparent);
        QPainter p(&picture);
        QStyleOptionFrame at(*frame);
        at.rect = QRect(QPoint(0, 0), option->rect.size());
        QProxyStyle::drawPrimitive(element, &at, &p, widget);
        p.end();
        QPixmapCache::insert(key, picture);
    }
    painter->drawPixmap(option->rect.topLeft(), picture);
}

} // namespace kvam
