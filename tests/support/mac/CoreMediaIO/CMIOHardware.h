#pragma once
// Core Media I/O (CMIOHardwareObject.h, CMIOHardwareSystem.h, CMIOHardwareDevice.h).
#include <CoreFoundation/CoreFoundation.h>
#include <dispatch/dispatch.h>
typedef UInt32 CMIOObjectID;
typedef UInt32 CMIOObjectPropertySelector;
typedef UInt32 CMIOObjectPropertyScope;
typedef UInt32 CMIOObjectPropertyElement;
struct CMIOObjectPropertyAddress {
    CMIOObjectPropertySelector mSelector;
    CMIOObjectPropertyScope mScope;
    CMIOObjectPropertyElement mElement;
};
typedef void (^CMIOObjectPropertyListenerBlock)(UInt32 inNumberAddresses, const CMIOObjectPropertyAddress addresses[]);
enum : UInt32 {
    kCMIOObjectSystemObject = 1,
    kCMIOObjectPropertyScopeGlobal = 'glob',
    kCMIOObjectPropertyElementMain = 0,
    kCMIOHardwarePropertyDevices = 'dev#',
    kCMIODevicePropertyDeviceIsRunningSomewhere = 'gone',
};
extern "C" {
OSStatus CMIOObjectGetPropertyDataSize(CMIOObjectID objectID, const CMIOObjectPropertyAddress* address,
                                       UInt32 qualifierDataSize, const void* qualifierData, UInt32* dataSize);
OSStatus CMIOObjectGetPropertyData(CMIOObjectID objectID, const CMIOObjectPropertyAddress* address,
                                   UInt32 qualifierDataSize, const void* qualifierData, UInt32 dataSize,
                                   UInt32* dataUsed, void* data);
OSStatus CMIOObjectAddPropertyListenerBlock(CMIOObjectID objectID, const CMIOObjectPropertyAddress* address,
                                            dispatch_queue_t dispatchQueue, CMIOObjectPropertyListenerBlock listener);
OSStatus CMIOObjectRemovePropertyListenerBlock(CMIOObjectID objectID, const CMIOObjectPropertyAddress* address,
                                               dispatch_queue_t dispatchQueue, CMIOObjectPropertyListenerBlock listener);
}
