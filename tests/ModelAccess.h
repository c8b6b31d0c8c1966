#pragma once

// Tests set the images up byte by byte; the program changes them only through the model's intents.

#include "device/DeviceModel.h"

namespace kvam {

struct DeviceModelTestAccess
{
    static DeviceMemory& memory(DeviceModel& model) { return model.m_memory; }
    static RequestValues& requests(DeviceModel& model) { return model.m_requests; }
    static DeviceMemory& meterMemory(DeviceModel& model) { return model.m_session.m_meterMemory; }
};

namespace test {
/// The model's images, writable for a test's set-up.
inline DeviceMemory& testMemory(DeviceModel& model)
{
    return DeviceModelTestAccess::memory(model);
}
/// The model's copies of the meter's records as last read, writable for a test's set-up.
inline DeviceMemory& testMeterMemory(DeviceModel& model)
{
    return DeviceModelTestAccess::meterMemory(model);
}
/// The model's request values, writable for a test's set-up.
inline RequestValues& testRequests(DeviceModel& model)
{
    return DeviceModelTestAccess::requests(model);
}
} // namespace test

} // namespace kvam
