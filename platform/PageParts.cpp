#include "platform/PageParts.h"

#include "platform/FrameCache.h"
#include "platform/Lamp.h"
#include "texts/UiTexts.h"

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

namespace kvam {

QGroupBox* makeGroup(QWidget* parent, const char* name, const QRect& geometry)
{
    auto* g = new CachedGroupBox(uiText(name), parent);
    g->setObjectName(QLatin1String(name));
    g->setGeometry(geometry);
    return g;
}

QPushButton* makeButton(QWidget* parent, const char* name, const QRect& geometry)
{
    auto* b = new QPushButton(uiText(name), parent);
    b->setObjectName(QLatin1String(name));
    b->setGeometry(geometry);
    return b;
}

QLabel* makeBoldCaption(QWidget* parent, const char* control, const QRect& geometry)
{
    auto* label = new QLabel(uiText(control), parent);
    label->setObjectName(QLatin1String(control) + QStringLiteral("Label"));
    QFont f = label->font();
    f.setBold(true);
    label->setFont(f);
    label->setGeometry(geometry);
    return label;
}

void enableOrExplain(QWidget* control, bool enabled, const char* reasonKey)
{
    control->setEnabled(enabled);
    control->setProperty(kToolTipKeyProperty, enabled ? QByteArray() : QByteArray(reasonKey));
    control->setToolTip(enabled ? QString() : currentText(reasonKey));
}

Lamp* makeCaptionedLamp(QWidget* parent, const char* control, int x)
{
    makeBoldCaption(parent, control, QRect(x, 6, 20, 16));
    auto* lamp = new Lamp(Lamp::Shape::RoundRect, Qt::white, parent);
    lamp->setObjectName(QLatin1String(control));
    lamp->setGeometry(x + 22, 8, 20, 12);
    return lamp;
}

} // namespace kvam
