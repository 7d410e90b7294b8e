#pragma once
// Foundation: what Tally calls (NSObject, NSString, NSURL, NSError, NSArray, NSProcessInfo,
// NSNotificationCenter, NSDistributedNotificationCenter, NSOperationQueue, NSPathUtilities).
#include <CoreFoundation/CoreFoundation.h>
typedef signed char BOOL;
#define YES ((BOOL)1)
#define NO ((BOOL)0)
#ifndef nil
#define nil nullptr
#endif
typedef unsigned long NSUInteger;
typedef long NSInteger;
#define NS_ENUM(type, name) enum name : type
#define NS_OPTIONS(type, name) enum name : type

@protocol NSObject
- (instancetype)retain;
- (oneway void)release;
- (instancetype)autorelease;
@end

@interface NSObject <NSObject>
+ (instancetype)alloc;
- (instancetype)init;
@end

@interface NSString : NSObject
+ (instancetype)stringWithUTF8String:(const char*)nullTerminatedCString;
@property(readonly) const char* UTF8String;
@property(readonly) const char* fileSystemRepresentation;
@end
typedef NSString* NSNotificationName;

@interface NSURL : NSObject
+ (NSURL*)fileURLWithPath:(NSString*)path;
+ (instancetype)URLWithString:(NSString*)URLString;
@end

@interface NSError : NSObject
@property(readonly, copy) NSString* localizedDescription;
@end

@interface NSArray<ObjectType> : NSObject
@property(readonly) NSUInteger count;
@end

typedef NS_OPTIONS(uint64_t, NSActivityOptions){
    NSActivityIdleSystemSleepDisabled = (1ULL << 20),
    NSActivityUserInitiated = (0x00FFFFFFULL | NSActivityIdleSystemSleepDisabled),
    NSActivityUserInitiatedAllowingIdleSystemSleep = (NSActivityUserInitiated & ~NSActivityIdleSystemSleepDisabled),
};

@interface NSProcessInfo : NSObject
@property(class, readonly, strong) NSProcessInfo* processInfo;
- (id<NSObject>)beginActivityWithOptions:(NSActivityOptions)options reason:(NSString*)reason;
- (void)endActivity:(id<NSObject>)activity;
@end

@interface NSNotification : NSObject
@property(readonly, copy) NSNotificationName name;
@end

@interface NSOperationQueue : NSObject
@property(class, readonly, strong) NSOperationQueue* mainQueue;
@end

@interface NSNotificationCenter : NSObject
- (id<NSObject>)addObserverForName:(NSNotificationName)name
                            object:(id)obj
                             queue:(NSOperationQueue*)queue
                        usingBlock:(void (^)(NSNotification* notification))block;
- (void)removeObserver:(id)observer;
@end

@interface NSDistributedNotificationCenter : NSNotificationCenter
+ (NSDistributedNotificationCenter*)defaultCenter;
@end

extern "C" NSString* NSHomeDirectory(void);
