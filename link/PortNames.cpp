#include "link/PortNames.h"

#include "texts/UiTexts.h"

#include <QCollator>
#include <QLocale>
#include <QSerialPortInfo>

#include <algorithm>

namespace kvam {

QStringList naturalPortOrder(QStringList names)
{
    // A fixed locale: the order of port names should not change with the user's language (in
    // Hungarian "ty" is one letter).
    QCollator collator{QLocale(QLocale::English, QLocale::UnitedStates)};
    collator.setNumericMode(true);
    std::stable_sort(names.begin(), names.end(), collator);
    return names;
}

QStringList portListEntries(const QStringList& systemPorts)
{
    QStringList entries{uiText("Portsbox.Select")};
    entries += naturalPortOrder(systemPorts);
    entries += QString::fromLatin1(kDemoPort);
    return entries;
}

QStringList systemSerialPorts()
{
    QStringList names;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
        names += info.portName();
    names.removeDuplicates();
    return names;
}

} // namespace kvam
