#include "app/Flags.h"

#include <QLabel>
#include <QPainter>

namespace kvam {

QPixmap hungarianFlag(int w, int h)
{
    QPixmap pm(w, h);
    QPainter p(&pm);
    const QColor stripes[] = {QColor(205, 42, 62), Qt::white, QColor(67, 111, 77)};
    for (int i = 0; i < 3; ++i)
        p.fillRect(QRect(0, i * h / 3, w, (i + 1) * h / 3 - i * h / 3), stripes[i]);
    p.setPen(QColor(120, 120, 120));
    p.drawRect(0, 0, w - 1, h - 1);
    return pm;
}

QPixmap englishFlag(int w, int h)
{
    QPixmap pm(w, h);
    pm.fill(QColor(1, 33, 105));
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor red(200, 16, 46);
    // Saltires: white, then a thinner red over them.
    p.setPen(QPen(Qt::white, h / 5.0));
    p.drawLine(0, 0, w, h);
    p.drawLine(0, h, w, 0);
    p.setPen(QPen(red, h / 12.0));
    p.drawLine(0, 0, w, h);
    p.drawLine(0, h, w, 0);
    // St George's cross on a white border.
    p.setRenderHint(QPainter::Antialiasing, false);
    const int cw = qMax(3, h / 3), rw = qMax(1, h / 5);
    p.fillRect(QRect((w - cw) / 2, 0, cw, h), Qt::white);
    p.fillRect(QRect(0, (h - cw) / 2, w, cw), Qt::white);
    p.fillRect(QRect((w - rw) / 2, 0, rw, h), red);
    p.fillRect(QRect(0, (h - rw) / 2, w, rw), red);
    p.setPen(QColor(120, 120, 120));
    p.drawRect(0, 0, w - 1, h - 1);
    return pm;
}

QLabel* flagPicture(QWidget* parent, const char* name, int x, const QPixmap& flag)
{
    auto* label = new QLabel(parent);
    label->setObjectName(QLatin1String(name));
    label->setGeometry(x, 4, 32, 20);
    label->setPixmap(flag);
    label->setCursor(Qt::PointingHandCursor);
    return label;
}

} // namespace kvam
