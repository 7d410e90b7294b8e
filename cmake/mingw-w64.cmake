# Cross-building for Windows on Linux with mingw-w64, the tests run under Wine. The runtime is
# linked statically, so the programs need no DLLs beside them. TALLY_WINDOWS_DEPS lists the
# prefixes of what was built for Windows here: RE2 and GoogleTest (scripts/windows-deps) and,
# for the whole program, Qt (scripts/windows-qt).
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-compilers.cmake)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
# What runs the test programs here.
find_program(TALLY_WINE NAMES wine64 wine)
set(CMAKE_CROSSCOMPILING_EMULATOR ${TALLY_WINE})
