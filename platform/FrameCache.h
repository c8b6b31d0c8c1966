#pragma once

#include <QGroupBox>
#include <QPixmap>
#include <QProxyStyle>
#include <QStyle>

namespace kvam {

/// A group box that keeps its frame and title as a picture. The style draws a group box frame by
/// scaling a pixmap over the whole box; on a page refreshed several times a second every changed
/// field inside would have it drawn anew. Here that part of the box is copied from the picture,
/// which is drawn again only when anything the style draws from has changed.
class CachedGroupBox : public QGroupBox
{
    Q_OBJECT
public:
    using QGroupBox::QGroupBox;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    /// Everything the picture was drawn from.
    struct Key
    {
        QSize size;
        QString text;
        QStyle::State state;
        QStyle::SubControls subControls;
        QStyle::SubControls activeSubControls;
        qint64 palette = 0;
        QString font;
        qreal ratio = 0;
        const QStyle* style = nullptr;
        bool operator==(const Key&) const = default;
    };
    QPixmap m_picture;
    Key m_key;
};

/// The application's style, except that a line edit's panel (its background and frame, which the
/// style strokes as an antialiased rounded rectangle) is drawn from a kept picture per size, state
/// and palette. For the fields a page refreshes several times a second.
class CachedPanelStyle : public QProxyStyle
{
    Q_OBJECT
public:
    /// The one instance, over a fresh copy of the application's style made by its name; none when
    /// that style cannot be made again (the fields then use the application's style as it is).
    static QStyle* forFields();

    using QProxyStyle::QProxyStyle;
    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget = nullptr) const override;
};

} // namespace kvam
