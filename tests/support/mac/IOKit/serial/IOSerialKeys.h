#pragma once
// IOKit's serial keys.
#define kIOSerialBSDServiceValue "IOSerialBSDClient"
#define kIOCalloutDeviceKey "IOCalloutDevice"
