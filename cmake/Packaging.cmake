# What `cmake --install` puts where, and the packages CPack makes from it: a .deb on Linux,
# a disk image holding Tally.app on macOS.
include(GNUInstallDirs)

if(APPLE)
  install(TARGETS tally BUNDLE DESTINATION .)
  # Qt's frameworks and cocoa plugin, and RE2 with what it needs, go into the installed bundle
  # (macdeployqt, through Qt's deployment script)...
  qt_generate_deploy_app_script(TARGET tally OUTPUT_SCRIPT deploy_script NO_UNSUPPORTED_PLATFORM_ERROR)
  install(SCRIPT ${deploy_script})
  # ...and only then is it signed, as a whole: any later edit would break the signature, and
  # Apple silicon kills such code. Ad hoc ("-") unless a Developer ID is named, as for a
  # notarised release (with the hardened runtime and a time stamp, which notarisation needs).
  set(TALLY_SIGNING_IDENTITY "-" CACHE STRING "The identity the installed Tally.app is signed with")
  set(sign_options "")
  if(NOT TALLY_SIGNING_IDENTITY STREQUAL "-")
    set(sign_options "--options runtime --timestamp")
  endif()
  install(CODE "
    set(TALLY_SIGN_IDENTITY \"${TALLY_SIGNING_IDENTITY}\")
    set(TALLY_SIGN_OPTIONS \"${sign_options}\")
    include(\"${PROJECT_SOURCE_DIR}/cmake/SignBundle.cmake\")")
  set(CPACK_GENERATOR DragNDrop)
  set(CPACK_DMG_VOLUME_NAME Tally)
elseif(WIN32)
  # tally.exe at the top of the ZIP and of the install folder (CMAKE_INSTALL_BINDIR is "." on
  # Windows: see Dependencies.cmake), the light's firmware beside it: a ZIP always, and an
  # installer where NSIS is installed.
  get_target_property(qt_type Qt6::Core TYPE)
  if(qt_type STREQUAL "STATIC_LIBRARY")
    # A static Qt, as scripts/windows-qt builds, is inside tally.exe with the C++ runtime: the
    # one file needs nothing beside it.
    install(TARGETS tally RUNTIME DESTINATION .)
  else()
    install(TARGETS tally RUNTIME DESTINATION . RUNTIME_DEPENDENCY_SET tally_dependencies)
    # A shared Qt (vcpkg's, say): its DLLs and plugins beside tally.exe (windeployqt, through
    # Qt's deployment script; its option changed name in Qt 6.5)...
    if(Qt6_VERSION VERSION_GREATER_EQUAL 6.5)
      qt_generate_deploy_app_script(TARGET tally OUTPUT_SCRIPT deploy_script NO_UNSUPPORTED_PLATFORM_ERROR)
    else()
      qt_generate_deploy_app_script(TARGET tally FILENAME_VARIABLE deploy_script NO_UNSUPPORTED_PLATFORM_ERROR)
    endif()
    install(SCRIPT ${deploy_script})
    # ...and what windeployqt leaves out: the other libraries' DLLs (RE2 and what it needs, the
    # compiler's runtime), from the package manager's folder. Windows' own stay where they are.
    set(dependency_folders "")
    if(VCPKG_INSTALLED_DIR AND VCPKG_TARGET_TRIPLET)
      list(APPEND dependency_folders ${VCPKG_INSTALLED_DIR}/${VCPKG_TARGET_TRIPLET}/bin)
    endif()
    install(RUNTIME_DEPENDENCY_SET tally_dependencies DESTINATION .
            DIRECTORIES ${dependency_folders}
            PRE_EXCLUDE_REGEXES "^api-ms-" "^ext-ms-"
            POST_EXCLUDE_REGEXES "[/\\\\][Ss]ystem32[/\\\\]" "[/\\\\][Ww]indows[/\\\\]")
  endif()
  install(FILES ${PROJECT_SOURCE_DIR}/firmware/light.py ${PROJECT_SOURCE_DIR}/firmware/main.py
          DESTINATION firmware)
  find_program(TALLY_MAKENSIS makensis)
  set(CPACK_GENERATOR ZIP)
  if(TALLY_MAKENSIS)
    list(APPEND CPACK_GENERATOR NSIS)
    set(CPACK_NSIS_DISPLAY_NAME Tally)
    set(CPACK_NSIS_PACKAGE_NAME Tally)
    set(CPACK_PACKAGE_INSTALL_DIRECTORY Tally)  # not "Tally 0.1.0": an update goes where Tally was
    set(CPACK_NSIS_CREATE_ICONS_EXTRA "CreateShortCut '$SMPROGRAMS\\$STARTMENU_FOLDER\\Tally.lnk' '$INSTDIR\\tally.exe'")
    # "Start at login" names the installed tally.exe: gone with it, nothing may start it.
    set(CPACK_NSIS_EXTRA_UNINSTALL_COMMANDS "
      DeleteRegValue HKCU 'Software\\Microsoft\\Windows\\CurrentVersion\\Run' 'Tally'
      DeleteRegValue HKCU 'Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run' 'Tally'")
  endif()
else()
  set(linux ${PROJECT_SOURCE_DIR}/packaging/linux)
  set(icons ${PROJECT_SOURCE_DIR}/packaging/icons)
  set(generated ${PROJECT_BINARY_DIR}/packaging)

  install(TARGETS tally virtual-light RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  # The light's firmware, for flashing a board without a source checkout.
  install(FILES ${PROJECT_SOURCE_DIR}/firmware/light.py ${PROJECT_SOURCE_DIR}/firmware/main.py
          DESTINATION ${CMAKE_INSTALL_DATADIR}/tally/firmware)
  # Under the prefix: the package's /usr/lib/udev/rules.d is where udev reads it (a /usr/local
  # install puts it where udev does not look; the README says what to do then).
  install(FILES ${linux}/60-tally-light.rules DESTINATION lib/udev/rules.d)
  install(FILES ${linux}/tally.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${icons}/tally.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
  foreach(size 16 32 48 64 128 256 512)
    install(FILES ${icons}/tally-${size}.png DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
            RENAME tally.png)
  endforeach()

  configure_file(${linux}/org.tally.Tally.metainfo.xml ${generated}/org.tally.Tally.metainfo.xml @ONLY)
  install(FILES ${generated}/org.tally.Tally.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

  # Debian wants the man page and the changelog compressed, without time stamps.
  configure_file(${linux}/tally.1.in ${generated}/tally.1 @ONLY)
  configure_file(${linux}/changelog.in ${generated}/changelog @ONLY)
  find_program(GZIP_PROGRAM gzip REQUIRED)
  foreach(file tally.1 changelog)
    add_custom_command(OUTPUT ${generated}/${file}.gz
      COMMAND ${GZIP_PROGRAM} -9nkf ${generated}/${file}
      DEPENDS ${generated}/${file})
  endforeach()
  add_custom_target(packaging-docs ALL DEPENDS ${generated}/tally.1.gz ${generated}/changelog.gz)
  install(FILES ${generated}/tally.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  # The documentation folder is the package's name, lower case, as Debian spells it.
  install(FILES ${generated}/changelog.gz ${linux}/copyright DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tally)

  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  # One package per distribution, named after it: Debian 12's and Ubuntu 24.04's link
  # different RE2 libraries, so each installs only where it was built
  # (tally_0.1.0+deb12_amd64.deb, tally_0.1.0+ubuntu24.04_amd64.deb). Still a native package:
  # the distribution is part of the version, not a Debian revision.
  set(distribution "")
  if(EXISTS /etc/os-release)
    file(STRINGS /etc/os-release os_release REGEX "^(ID|VERSION_ID)=")
    foreach(line IN LISTS os_release)
      string(REGEX REPLACE "^([A-Z_]+)=\"?([^\"]*)\"?$" "\\2" value "${line}")
      if(line MATCHES "^ID=")
        set(os_id "${value}")
      else()
        set(os_version "${value}")
      endif()
    endforeach()
    if(os_id STREQUAL "debian")
      set(distribution "deb${os_version}")
    elseif(os_id)
      set(distribution "${os_id}${os_version}")
    endif()
  endif()
  if(distribution)
    set(CPACK_DEBIAN_PACKAGE_VERSION "${PROJECT_VERSION}+${distribution}")
  endif()
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${linux}/postinst ${linux}/postrm)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
endif()

set(CPACK_PACKAGE_NAME tally)
set(CPACK_PACKAGE_VENDOR "The Tally developers")
set(CPACK_PACKAGE_CONTACT "The Tally developers <developers@tally.org>")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://tally.org/")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Microsoft Teams status on a USB desk light")
set(CPACK_PACKAGE_DESCRIPTION "Tally sits in the tray, follows the log files that the Microsoft Teams desktop
client writes, and shows the user's availability on a USB desk light: an
RP2040 board running MicroPython and Tally's firmware. It never talks to Teams
or to any server. Licence: MIT.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_FILE_NAME_NO_VERSION OFF)
include(CPack)
