#pragma once

#include "platform/SerialPort.h"

#include <QStringList>

#include <optional>

namespace kvam {

/// Orders port names the way people count: ttyS2 before ttyS10, COM9 before COM10.
QStringList naturalPortOrder(QStringList names);

/// The entries of the port list: the text table's Portsbox.Select, the system's serial ports,
/// kDemoPort ("DEMO"), the network addresses used last, then the entry that asks for an address
/// (Portsbox.Network).
QStringList portListEntries(const QStringList& systemPorts, const QStringList& recentAddresses = {});

/// The network addresses this user opened last, the latest first (at most kRecentAddresses).
QStringList recentNetworkAddresses();
/// Puts `address` first among the recent ones, dropping the oldest beyond kRecentAddresses.
void rememberNetworkAddress(const QString& address);
inline constexpr int kRecentAddresses = 5;

/// The answer time-out an option gives, in milliseconds: a whole number from 50 to 60000.
std::optional<int> parseAnswerTimeout(const QString& text);
inline constexpr char kAnswerTimeoutNeed[] =
    "--timeout needs a whole number of milliseconds from 50 to 60000";

/// The serial ports of this system, by the names QSerialPort opens them with.
QStringList systemSerialPorts();

} // namespace kvam
