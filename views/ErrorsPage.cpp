#include "ErrorsPage.h"

#include "Lamp.h"
#include "LampGroup.h"

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
QList<LampGroup::Entry> dynamicEntries(const QStringList& captions)
{
    QList<LampGroup::Entry> entries = LampGroup::entriesFor(captions.mid(0, kDynamicBits));
    for (int bit = 1; bit < kDynamicBits; ++bit)
        entries[bit].name = QStringLiteral("Led%1").arg(bit);
    return entries;
}

QList<LampGroup::Entry> staticEntries(const QStringList& captions)
{
    QList<LampGroup::Entry> entries = LampGroup::entriesFor(captions.mid(0, kStaticBits));
    for (int bit = 1; bit < kDynamicBits; ++bit)
        entries[bit].name = QStringLiteral("LED%1").arg(20 + bit);
    entries[20].name = QStringLiteral("AbLED1");
    entries[21].name = QStringLiteral("AbLED21");
    entries[22].name = QStringLiteral("AbLED22");
    return entries;
}

QGroupBox* makeGroup(const QString& name, const QString& title, LampGroup* lamps, QWidget* parent, int left)
{
    auto* group = new QGroupBox(title, parent);
    group->setObjectName(name);
    lamps->setParent(group);
    lamps->move(12, 22);
    group->setGeometry(left, 4, 12 + lamps->width() + 8, 22 + lamps->height() + 8);
    return group;
}

} // namespace

QStringList ErrorsPage::errorCaptions()
{
    return {
        QStringLiteral("L1 letörés"),         QStringLiteral("L2 letörés"),
        QStringLiteral("L3 letörés"),         QStringLiteral("L1 kiesés"),
        QStringLiteral("L2 kiesés"),          QStringLiteral("L3 kiesés"),
        QStringLiteral("L1 emelkedés"),       QStringLiteral("L2 emelkedés"),
        QStringLiteral("L3 emelkedés"),       QStringLiteral("L1 túláram"),
        QStringLiteral("L2 túláram"),         QStringLiteral("L3 túláram"),
        QStringLiteral("Fázis sorrend hiba"), QStringLiteral("Frekvencia hiba"),
        QStringLiteral("Túlzott meddő"),      QStringLiteral("Modbus komm. hiba"),
        QStringLiteral("Analóg kimenet hiba"), QStringLiteral("Lekötött telj. túllépés"),
        QStringLiteral("Váratlan szinkronjel"), QStringLiteral("Szinkronjel kimaradás"),
        QStringLiteral("Kalibráció hiba"),    QStringLiteral("Inicializálás hiba"),
        QStringLiteral("Adatmentés hiba"),
    };
}

ErrorsPage::ErrorsPage(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("TabSheet_Errors"));
    resize(761, 573);
    const QStringList captions = errorCaptions();

    m_dynamic = new LampGroup(QStringLiteral("DinLeds"), dynamicEntries(captions), errorStyle());
    QGroupBox* dynGroup = makeGroup(QStringLiteral("GroupBox10"), QStringLiteral(" Dinamikus hibák "), m_dynamic, this, 8);

    m_static = new LampGroup(QStringLiteral("StatLeds"), staticEntries(captions), errorStyle());
    QGroupBox* statGroup = makeGroup(QStringLiteral("GroupBox9"), QStringLiteral(" Statikus hibák "), m_static, this,
                                     dynGroup->geometry().right() + 9);

    const int left = statGroup->geometry().right() + 25;
    m_errorLed = new Lamp(Lamp::Shape::Circle, QColor(kErrorUnlit), this);
    m_errorLed->setObjectName(QStringLiteral("ErrorLed"));
    m_errorLed->setGeometry(left, 28, 20, 20);
    auto* ledLabel = new QLabel(QStringLiteral("HIBA LED"), this);
    ledLabel->setObjectName(QStringLiteral("ErrorLedLabel"));
    QFont bold = ledLabel->font();
    bold.setBold(true);
    ledLabel->setFont(bold);
    ledLabel->setGeometry(left + 28, 28, 110, 20);

    m_clearErrors = new QPushButton(QStringLiteral("Hibák törlése"), this);
    m_clearErrors->setObjectName(QStringLiteral("ClearErrorsbutton"));
    m_clearErrors->setGeometry(left, 64, 130, 27);
    connect(m_clearErrors, &QPushButton::clicked, this, &ErrorsPage::clearErrorsRequested);
}

void ErrorsPage::showState(const StateRecord& rec)
{
    m_dynamic->setStatus(dynamicErrors(rec));
    m_static->setStatus(staticErrors(rec));
    m_errorLed->setColor(QColor(errorLedLit(rec) ? kErrorLit : kErrorUnlit));
}

} // namespace kvam
