#pragma once
// CoreFoundation: what Tally calls (CFBase.h, CFNumber.h, CFString.h, CFDictionary.h).
#include <stdint.h>
typedef unsigned char Boolean;
typedef long CFIndex;
typedef unsigned long CFTypeID;
typedef unsigned long CFOptionFlags;
typedef const void* CFTypeRef;
typedef const struct __CFAllocator* CFAllocatorRef;
typedef const struct __CFString* CFStringRef;
typedef const struct __CFNumber* CFNumberRef;
typedef const struct __CFDictionary* CFDictionaryRef;
typedef struct __CFDictionary* CFMutableDictionaryRef;
typedef uint32_t CFStringEncoding;
typedef int32_t SInt32;
typedef uint32_t UInt32;
typedef int32_t OSStatus;
typedef CFIndex CFNumberType;
enum { kCFNumberIntType = 9 };
enum { kCFStringEncodingUTF8 = 0x08000100 };
extern const CFAllocatorRef kCFAllocatorDefault;
extern "C" {
void CFRelease(CFTypeRef cf);
CFTypeID CFGetTypeID(CFTypeRef cf);
CFTypeID CFNumberGetTypeID(void);
CFTypeID CFStringGetTypeID(void);
Boolean CFNumberGetValue(CFNumberRef number, CFNumberType theType, void* valuePtr);
Boolean CFStringGetCString(CFStringRef theString, char* buffer, CFIndex bufferSize, CFStringEncoding encoding);
CFStringRef __CFStringMakeConstantString(const char* cStr);
}
#define CFSTR(cStr) __CFStringMakeConstantString("" cStr "")
