#include "link/PortNames.h"

#include "platform/NetworkPort.h"
#include "texts/UiTexts.h"

#include <QCollator>
#include <QLocale>
#include <QSerialPortInfo>
#include <QSettings>
#include <QStandardPaths>

#include <algorithm>
#include <memory>

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

QStringList portListEntries(const QStringList& systemPorts, const QStringList& recentAddresses)
{
    QStringList entries{uiText("Portsbox.Select")};
    entries += naturalPortOrder(systemPorts);
    entries += QString::fromLatin1(kDemoPort);
    entries += recentAddresses;
    entries += currentText("Portsbox.Network");
    return entries;
}

namespace {

// Per user, in the user's configuration folder (a folder of its own under test).
std::unique_ptr<QSettings> recentStore()
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return std::make_unique<QSettings>(folder + QStringLiteral("/Velmar/kvam2100.ini"), QSettings::IniFormat);
}

constexpr char kRecentKey[] = "Network/recentAddresses";

} // namespace

QStringList recentNetworkAddresses()
{
    QStringList kept;
    for (const QString& a : recentStore()->value(QLatin1String(kRecentKey)).toStringList())
        if (parseNetworkAddress(a) && !kept.contains(a) && kept.size() < kRecentAddresses)
            kept << a;
    return kept;
}

void rememberNetworkAddress(const QString& address)
{
    QStringList list = recentNetworkAddresses();
    list.removeAll(address);
    list.prepend(address);
    while (list.size() > kRecentAddresses)
        list.removeLast();
    recentStore()->setValue(QLatin1String(kRecentKey), list);
}

std::optional<int> parseAnswerTimeout(const QString& text)
{
    bool ok = false;
    const int ms = text.trimmed().toInt(&ok);
    if (!ok || ms < 50 || ms > 60000)
        return std::nullopt;
    return ms;
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
