# Cross-building for Windows on Linux with mingw-w64 (the -posix compilers: the -win32 ones
# have no std::thread), the tests run under Wine. The runtime is linked statically, so the
# programs need no DLLs beside them.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
# The mingw runtime, and RE2 and GoogleTest built for it (scripts/windows-deps).
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32 ${TALLY_WINDOWS_DEPS})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
# What runs the test programs here.
find_program(TALLY_WINE NAMES wine64 wine)
set(CMAKE_CROSSCOMPILING_EMULATOR ${TALLY_WINE})
