#pragma once

#include "platform/SerialPort.h"

#include <QStringList>

namespace kvam {

/// Orders port names the way people count: ttyS2 before ttyS10, COM9 before COM10.
QStringList naturalPortOrder(QStringList names);

/// The entries of the port list: the text table's Portsbox.Select, the system's serial ports,
/// then kDemoPort ("DEMO").
QStringList portListEntries(const QStringList& systemPorts);

/// The serial ports of this system, by the names QSerialPort opens them with.
QStringList systemSerialPorts();

} // namespace kvam
