# Everything comes from the platform's package manager; nothing is fetched at build time.

# Homebrew's re2 ships a CMake package; Debian's only a pkg-config file.
find_package(re2 CONFIG QUIET)
if(NOT TARGET re2::re2)
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(RE2 REQUIRED IMPORTED_TARGET re2)
  add_library(re2::re2 ALIAS PkgConfig::RE2)
endif()

find_package(Threads REQUIRED)

if(TALLY_BUILD_APP)
  # On Windows tally.exe sits at the top of its folder, and Qt's deployment, set up when Qt is
  # found, must look for it there.
  if(WIN32)
    set(CMAKE_INSTALL_BINDIR .)
  endif()
  if(WIN32 AND CMAKE_CROSSCOMPILING)
    find_package(Qt6 QUIET COMPONENTS Core)
    if(NOT Qt6_FOUND)
      message(FATAL_ERROR "No Qt for Windows in TALLY_WINDOWS_DEPS (${TALLY_WINDOWS_DEPS}). Build it once "
                          "and name it: export TALLY_WINDOWS_QT=$(scripts/windows-qt | tail -n 1), then "
                          "configure afresh (scripts/test wine does both).")
    endif()
  endif()
  if(APPLE OR WIN32)
    find_package(Qt6 REQUIRED COMPONENTS Widgets Network)
  else()
    find_package(Qt6 REQUIRED COMPONENTS Widgets Network DBus)
  endif()
  if(TALLY_DEVELOPER_MODE)
    find_package(Qt6 REQUIRED COMPONENTS Test)
  endif()
endif()

if(TALLY_DEVELOPER_MODE)
  find_package(GTest REQUIRED)
endif()

if(TALLY_BUILD_BENCHMARKS)
  find_package(benchmark REQUIRED)
endif()
