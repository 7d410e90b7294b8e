#pragma once
// Blocks: copying and releasing one.
extern "C" {
void* _Block_copy(const void* aBlock);
void _Block_release(const void* aBlock);
}
#define Block_copy(...) ((__typeof(__VA_ARGS__))_Block_copy((const void*)(__VA_ARGS__)))
#define Block_release(...) _Block_release((const void*)(__VA_ARGS__))
