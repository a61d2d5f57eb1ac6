#include "link/device_data.h"

TDeviceIdentity DeviceIdentity;
TDeviceDump DeviceDump{};
