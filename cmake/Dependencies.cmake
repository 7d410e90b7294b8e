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
