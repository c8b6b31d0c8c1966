#include "config/PageParts.h"

#include "texts/UiTexts.h"

#include <QGroupBox>
#include <QPushButton>

namespace kvam {

QGroupBox* makeGroup(QWidget* parent, const char* name, const QRect& geometry)
{
    auto* g = new QGroupBox(uiText(name), parent);
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

} // namespace kvam
