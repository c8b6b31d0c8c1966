#include "views/ErrorsPage.h"

#include "device/DeviceModel.h"
#include "platform/Lamp.h"
#include "platform/LampGroup.h"
#include "platform/PageParts.h"
#include "protocol/ServiceCodes.h"
#include "texts/UiItems.h"
#include "texts/UiTexts.h"

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

namespace kvam {

namespace {

constexpr int kDynamicBits = 20;
constexpr int kStaticBits = 23;

LampGroup::Style errorStyle()
{
    LampGroup::Style s;
    s.shape = Lamp::Shape::Arrow;
    s.lampSize = QSize(18, 14);
    s.lit = QColor(ErrorsPage::kErrorLit);
    s.unlit = QColor(ErrorsPage::kErrorUnlit);
    s.rowHeight = 20;
    s.captionWidth = 190;
    return s;
}

// The lamps keep the names the language switch pairs them by: Led1..Led19 in the dynamic group,
// LED21..LED39 and the three static-only AbLED1, AbLED21, AbLED22 in the static group.
QList<LampGroup::Entry> dynamicEntries()
{
    QList<LampGroup::Entry> entries = LampGroup::entriesFor(QStringList(kDynamicBits, QString()));
    for (int bit = 1; bit < kDynamicBits; ++bit)
        entries[bit].name = QStringLiteral("Led%1").arg(bit);
    for (LampGroup::Entry& e : entries)
        e.caption = uiText((e.name.isEmpty() ? QStringLiteral("DinLeds") : e.name).toLatin1().constData());
    return entries;
}

QList<LampGroup::Entry> staticEntries()
{
    QList<LampGroup::Entry> entries = LampGroup::entriesFor(QStringList(kStaticBits, QString()));
    for (int bit = 1; bit < kDynamicBits; ++bit)
        entries[bit].name = QStringLiteral("LED%1").arg(20 + bit);
    entries[20].name = QStringLiteral("AbLED1");
    entries[21].name = QStringLiteral("AbLED21");
    entries[22].name = QStringLiteral("AbLED22");
    // Each lamp's caption is its own entry of the text table.
    for (LampGroup::Entry& e : entries)
        e.caption = uiText((e.name.isEmpty() ? QStringLiteral("StatLeds") : e.name).toLatin1().constData());
    return entries;
}

/// A group box around a lamp group, sized to it.
QGroupBox* lampBox(QWidget* parent, const char* name, LampGroup* lamps, int left)
{
    QGroupBox* group =
        makeGroup(parent, name, QRect(left, 4, 12 + lamps->width() + 8, 22 + lamps->height() + 8));
    lamps->setParent(group);
    lamps->move(12, 22);
    return group;
}

} // namespace

QStringList ErrorsPage::errorCaptions()
{
    // Bits 0..19 as the dynamic group names them; 20..22 are the static group's own.
    QStringList captions;
    for (int bit = 0; bit < kErrorFlagBits; ++bit)
        captions << uiText(errorFlagKey(bit));
    return captions;
}

ErrorsPage::ErrorsPage(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("TabSheet_Errors"));
    resize(761, 573);

    m_dynamic = new LampGroup(QStringLiteral("DinLeds"), dynamicEntries(), errorStyle());
    QGroupBox* dynGroup = lampBox(this, "GroupBox10", m_dynamic, 8);

    m_static = new LampGroup(QStringLiteral("StatLeds"), staticEntries(), errorStyle());
    QGroupBox* statGroup = lampBox(this, "GroupBox9", m_static, dynGroup->geometry().right() + 9);

    const int left = statGroup->geometry().right() + 25;
    m_errorLed = new Lamp(Lamp::Shape::Circle, QColor(kErrorUnlit), this);
    m_errorLed->setObjectName(QStringLiteral("ErrorLed"));
    m_errorLed->setGeometry(left, 28, 20, 20);
    makeBoldCaption(this, "ErrorLed", QRect(left + 28, 28, 110, 20));

    m_clearErrors = makeButton(this, "ClearErrorsbutton", QRect(left, 64, 130, 27));
    connect(m_clearErrors, &QPushButton::clicked, this, &ErrorsPage::clearErrorsRequested);
}

void ErrorsPage::attach(DeviceModel& model)
{
    connect(&model, &DeviceModel::stateChanged, this, &ErrorsPage::showState);
    connect(this, &ErrorsPage::clearErrorsRequested, &model,
            [&model] { model.requestService(kServiceClearErrors); });
}

void ErrorsPage::showState(const StateRecord& rec)
{
    m_dynamic->setStatus(dynamicErrors(rec));
    m_static->setStatus(staticErrors(rec));
    m_errorLed->setColor(QColor(errorLedLit(rec) ? kErrorLit : kErrorUnlit));
}

} // namespace kvam
