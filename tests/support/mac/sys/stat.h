#pragma once
// The system's stat, and the name Apple's gives its modification time.
#include_next <sys/stat.h>
#define st_mtimespec st_mtim
