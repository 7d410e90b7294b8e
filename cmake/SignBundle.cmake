# Signs the installed Tally.app as Apple recommends: each piece of nested code on its own,
# innermost first (the plugins' and the frameworks' libraries, then the frameworks), then the
# app itself; never --deep, which signs nested code with the app's options and misses some.
# Run at install time with TALLY_SIGN_IDENTITY ("-" for ad hoc) and TALLY_SIGN_OPTIONS.
set(app "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/Tally.app")
separate_arguments(options UNIX_COMMAND "${TALLY_SIGN_OPTIONS}")
file(GLOB_RECURSE libraries "${app}/Contents/PlugIns/*.dylib" "${app}/Contents/Frameworks/*.dylib")
file(GLOB frameworks LIST_DIRECTORIES true "${app}/Contents/Frameworks/*.framework")
foreach(code IN LISTS libraries frameworks)
  execute_process(COMMAND codesign --force ${options} --sign "${TALLY_SIGN_IDENTITY}" "${code}"
                  COMMAND_ERROR_IS_FATAL ANY)
endforeach()
execute_process(COMMAND codesign --force ${options} --sign "${TALLY_SIGN_IDENTITY}" "${app}"
                COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND codesign --verify --strict --verbose=2 "${app}" COMMAND_ERROR_IS_FATAL ANY)
