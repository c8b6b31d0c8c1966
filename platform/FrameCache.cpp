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

namespace {

/// A transparent picture of `size` logical pixels at `ratio`, with `draw` painted into it.
template <typename Draw> QPixmap picture(QSize size, qreal ratio, Draw draw)
{
    QPixmap pixmap(size * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    draw(p);
    return pixmap;
}

} // namespace

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
        m_picture = picture(option.rect.size(), ratio, [&](QPainter& p) {
            // What a painter on the widget starts with.
            p.setFont(font());
            p.setPen(palette().color(foregroundRole()));
            style()->drawComplexControl(QStyle::CC_GroupBox, &option, &p, this);
        });
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
    QPixmap panel;
    if (!QPixmapCache::find(key, &panel)) {
        QStyleOptionFrame at(*frame);
        at.rect = QRect(QPoint(0, 0), option->rect.size());
        panel = picture(at.rect.size(), ratio,
                        [&](QPainter& p) { QProxyStyle::drawPrimitive(element, &at, &p, widget); });
        QPixmapCache::insert(key, panel);
    }
    painter->drawPixmap(option->rect.topLeft(), panel);
}

} // namespace kvam
