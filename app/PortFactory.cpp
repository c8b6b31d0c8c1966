#include "app/PortFactory.h"

#include "link/PortNames.h"
#include "meter/VirtualMeterPort.h"
#include "platform/QtSerialPortAdapter.h"

namespace kvam {

LinkDriver::PortFactory portFactory(bool demoPacing)
{
    return [demoPacing](const QString& name) -> std::unique_ptr<SerialPort> {
        if (name == QLatin1String(kDemoPort))
            return std::make_unique<VirtualMeterPort>(demoPacing);
        return std::make_unique<QtSerialPortAdapter>();
    };
}

} // namespace kvam
