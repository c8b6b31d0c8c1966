#include "app/PortFactory.h"

#include "link/PortNames.h"
#include "meter/VirtualMeterPort.h"
#include "platform/NetworkPort.h"
#include "platform/QtSerialPortAdapter.h"

namespace kvam {

LinkDriver::PortFactory portFactory(bool demoPacing, std::optional<VirtualMeterConfig> demoMeter)
{
    return [demoPacing, demoMeter](const QString& name) -> std::unique_ptr<SerialPort> {
        if (name == QLatin1String(kDemoPort)) {
            if (demoMeter)
                return std::make_unique<VirtualMeterPort>(demoPacing, *demoMeter);
            // The demo meter comes configured, so every panel of the configuration shows something.
            VirtualMeterConfig config;
            config.installed = true;
            return std::make_unique<VirtualMeterPort>(demoPacing, config);
        }
        if (isNetworkPortName(name))
            return std::make_unique<NetworkPort>();
        return std::make_unique<QtSerialPortAdapter>();
    };
}

} // namespace kvam
