#pragma once
// The system versions that APIs are marked with; everything here is available.
#define __MAC_OS_X_VERSION_MIN_REQUIRED 140000
#define __MAC_OS_X_VERSION_MAX_ALLOWED 150000
#define __MAC_10_15 101500
#define __MAC_11_0 110000
#define __MAC_12_0 120000
#define __MAC_13_0 130000
#define __MAC_14_0 140000
#define __MAC_15_0 150000
#define __IPHONE_OS_VERSION_MIN_REQUIRED 0
#define API_AVAILABLE(...)
#define API_UNAVAILABLE(...)
