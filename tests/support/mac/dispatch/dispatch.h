#pragma once
// libdispatch: what Tally calls. Dispatch objects are plain pointers here (no ARC).
typedef struct dispatch_queue_s* dispatch_queue_t;
typedef struct dispatch_queue_attr_s* dispatch_queue_attr_t;
typedef void (^dispatch_block_t)(void);
#define DISPATCH_QUEUE_SERIAL nullptr
extern "C" {
dispatch_queue_t dispatch_queue_create(const char* label, dispatch_queue_attr_t attr);
void dispatch_sync(dispatch_queue_t queue, dispatch_block_t block);
void dispatch_release(dispatch_queue_t object);
}
