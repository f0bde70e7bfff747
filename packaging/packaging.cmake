# Installation layout, the Debian packages, the package check and the
# screenshot driver. Included last by the top-level CMakeLists.txt, so every
# target and option of the project is known here.
#
# Two components, each a Debian package of its own from the one build: the
# desktop tool (`desktop`, package hygrovane) and the gateway for a box
# without a screen (`gateway`, package hygrovane-gateway), which links no Qt
# Widgets, Gui nor Charts. dpkg refuses two packages that own one file, so
# what both need (the catalogue, the copyright) each installs under its own
# name.

set(HYGROVANE_APP_ID io.github.hygrovane.Hygrovane)
set(HYGROVANE_PACKAGING_DIR ${CMAKE_CURRENT_LIST_DIR})

# The simulated module is not built on Windows; it comes with the desktop
# tool, for trying it without hardware.
set(HYGROVANE_PROGRAMS hygrovane)
if(TARGET hygrovane-modsim)
  list(APPEND HYGROVANE_PROGRAMS hygrovane-modsim)
endif()
install(TARGETS ${HYGROVANE_PROGRAMS} RUNTIME DESTINATION bin COMPONENT desktop)
# The Chinese launcher starts the program in share/hygrovane, where it finds Qm/.
install(FILES ${HYGROVANE_QM_DIR}/Chinese.qm DESTINATION share/hygrovane/Qm COMPONENT desktop)
# GPL-3.0-or-later, as Qt Charts requires of an open-source program.
install(FILES ${HYGROVANE_PACKAGING_DIR}/copyright DESTINATION share/doc/hygrovane COMPONENT desktop)

# The icon, the menu entries and the AppStream metainfo are for Linux desktops.
if(NOT WIN32)
  install(FILES ${HYGROVANE_PACKAGING_DIR}/hygrovane.svg
          DESTINATION share/icons/hicolor/scalable/apps COMPONENT desktop)
  install(FILES ${HYGROVANE_PACKAGING_DIR}/${HYGROVANE_APP_ID}.metainfo.xml
          DESTINATION share/metainfo COMPONENT desktop)

  # The launchers hold absolute paths (Exec, and Path for the catalogue), and the
  # prefix is only certain at install time: `cmake --install --prefix` and CPack
  # both choose it then. So the entries are configured by the install script,
  # into a folder of their own per prefix, in case two installs run at once.
  foreach(entry ${HYGROVANE_APP_ID} ${HYGROVANE_APP_ID}.zh_CN)
    install(CODE "
      get_filename_component(_hygrovane_prefix \"\${CMAKE_INSTALL_PREFIX}\" ABSOLUTE)
      set(HYGROVANE_BINDIR \"\${_hygrovane_prefix}/bin\")
      set(HYGROVANE_DATADIR \"\${_hygrovane_prefix}/share/hygrovane\")
      string(MD5 _hygrovane_key \"\${_hygrovane_prefix}\")
      set(_hygrovane_out \"${PROJECT_BINARY_DIR}/packaging/\${_hygrovane_key}/${entry}.desktop\")
      configure_file(\"${HYGROVANE_PACKAGING_DIR}/${entry}.desktop.in\" \"\${_hygrovane_out}\" @ONLY)
      file(INSTALL DESTINATION \"\${CMAKE_INSTALL_PREFIX}/share/applications\" TYPE FILE
           FILES \"\${_hygrovane_out}\")
    " COMPONENT desktop)
  endforeach()
endif()

# ---- the gateway: a systemd service a line, and an example of its file --------
# The unit names the program by its absolute path, certain only at install
# time, so it is configured then, as the launchers are. The example goes with
# the documentation rather than into /etc: the files there are the operator's,
# one a line and named after it, and a package's files stay below its prefix.
# The gateway reads its catalogue from <bindir>/../share/hygrovane-gateway.
if(TARGET hygrovane-gateway)
  install(TARGETS hygrovane-gateway RUNTIME DESTINATION bin COMPONENT gateway)
  install(FILES ${HYGROVANE_QM_DIR}/Chinese.qm DESTINATION share/hygrovane-gateway COMPONENT gateway)
  install(FILES ${HYGROVANE_PACKAGING_DIR}/copyright DESTINATION share/doc/hygrovane-gateway COMPONENT gateway)
endif()
if(TARGET hygrovane-gateway AND CMAKE_SYSTEM_NAME STREQUAL "Linux")
  install(CODE "
    get_filename_component(_hygrovane_prefix \"\${CMAKE_INSTALL_PREFIX}\" ABSOLUTE)
    set(HYGROVANE_BINDIR \"\${_hygrovane_prefix}/bin\")
    string(MD5 _hygrovane_key \"\${_hygrovane_prefix}\")
    set(_hygrovane_out \"${PROJECT_BINARY_DIR}/packaging/\${_hygrovane_key}/hygrovane-gateway@.service\")
    configure_file(\"${HYGROVANE_PACKAGING_DIR}/hygrovane-gateway@.service.in\" \"\${_hygrovane_out}\" @ONLY)
    file(INSTALL DESTINATION \"\${CMAKE_INSTALL_PREFIX}/lib/systemd/system\" TYPE FILE
         FILES \"\${_hygrovane_out}\")
  " COMPONENT gateway)
  install(FILES ${HYGROVANE_PACKAGING_DIR}/gateway.conf.example
          DESTINATION share/doc/hygrovane-gateway/examples RENAME gateway.conf COMPONENT gateway)

  # systemd's own check of the unit, configured to start the built program
  # (it must exist); skipped (77) where systemd-analyze is missing.
  if(HYGROVANE_TESTS)
    add_test(NAME gateway_unit
             COMMAND bash ${PROJECT_SOURCE_DIR}/tests/unit_check.sh
                     ${HYGROVANE_PACKAGING_DIR}/hygrovane-gateway@.service.in $<TARGET_FILE:hygrovane-gateway>
                     ${PROJECT_BINARY_DIR}/tests/unit)
    set_tests_properties(gateway_unit PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 60)
  endif()
endif()

# ---- Windows: Qt's libraries and plugins beside the executable ---------------
# windeployqt copies what hygrovane.exe loads (Qt's DLLs, the platform, style
# and image plugins, and the MinGW runtime) into bin/, so the installed folder
# runs on a machine without Qt. Qt's own catalogues are left out: the program
# loads only its own.
if(WIN32)
  get_target_property(_hygrovane_qmake Qt5::qmake IMPORTED_LOCATION)
  get_filename_component(_hygrovane_qt_bin "${_hygrovane_qmake}" DIRECTORY)
  find_program(HYGROVANE_WINDEPLOYQT windeployqt HINTS "${_hygrovane_qt_bin}"
               DOC "Qt's windeployqt, run on the installed hygrovane.exe")
  install(CODE "
    if(NOT EXISTS \"${HYGROVANE_WINDEPLOYQT}\")
      message(FATAL_ERROR \"windeployqt was not found beside qmake in ${_hygrovane_qt_bin}: \"
                          \"without it the installed folder runs only where Qt is. Set HYGROVANE_WINDEPLOYQT.\")
    endif()
    execute_process(COMMAND \"${HYGROVANE_WINDEPLOYQT}\" --no-translations
                            \"\${CMAKE_INSTALL_PREFIX}/bin/$<TARGET_FILE_NAME:hygrovane>\"
                    RESULT_VARIABLE _hygrovane_deployed)
    if(NOT _hygrovane_deployed EQUAL 0)
      message(FATAL_ERROR \"windeployqt failed (\${_hygrovane_deployed})\")
    endif()
  " COMPONENT desktop)
endif()

# ---- Debian packages: cd build && cpack -G DEB -------------------------------
set(HYGROVANE_DEB_MAINTAINER "Hygrovane maintainers <maintainers@hygrovane.invalid>"
    CACHE STRING "Maintainer field of the Debian packages")

set(CPACK_PACKAGE_NAME hygrovane)
set(CPACK_PACKAGE_VENDOR Hygrovane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${HYGROVANE_DEB_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${HYGROVANE_DEB_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# With DESTDIR staging the install script sees the real prefix (/usr), which
# the launchers must name, rather than the staging folder; in that mode CPack
# installs to CPACK_INSTALL_PREFIX.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX ${CPACK_PACKAGING_INSTALL_PREFIX})
# The build type keeps debug information; the packages do not need it.
set(CPACK_STRIP_FILES ON)
# Depends is read off the binaries, so it names exactly the Qt 5 libraries
# each package's programs link.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL desktop)
if(TARGET hygrovane-gateway)
  list(APPEND CPACK_COMPONENTS_ALL gateway)
endif()

# Each description's first line is its package's summary.
set(CPACK_DEBIAN_DESKTOP_PACKAGE_NAME hygrovane)
set(CPACK_COMPONENT_DESKTOP_DESCRIPTION
    "service tool for a temperature-and-humidity module and data logger\n"
    "Hygrovane links to a temperature-and-humidity sensor module over a serial\n"
    "line (at a chosen baud rate, or searching it), polls temperature, humidity,\n"
    "dew point and wet-bulb temperature, reads and sets the module's bus address\n"
    "and baud rate, and reads and writes the data logger's serial number and\n"
    "recording setup. Every frame is echoed into a time-stamped hex log.\n"
    "English and Chinese texts. Includes hygrovane-modsim, a simulated module on\n"
    "a pseudo-terminal for trying the tool without hardware.")
# The form's Arial, in its metric-compatible twin, a CJK font for Chinese, and
# Qt's own Chinese catalogue for the toolkit's buttons and dialogs.
set(CPACK_DEBIAN_DESKTOP_PACKAGE_RECOMMENDS "fonts-liberation2, fonts-noto-cjk | fonts-wqy-microhei, qttranslations5-l10n")

set(CPACK_DEBIAN_GATEWAY_PACKAGE_NAME hygrovane-gateway)
set(CPACK_DEBIAN_GATEWAY_PACKAGE_SECTION net)
# The spool's SQLite is a plugin of Qt's, loaded at run time, which the
# binaries' own libraries do not name.
set(CPACK_DEBIAN_GATEWAY_PACKAGE_DEPENDS "libqt5sql5-sqlite")
set(CPACK_COMPONENT_GATEWAY_DESCRIPTION
    "temperature-and-humidity modules on a serial line published to MQTT\n"
    "hygrovane-gateway watches the modules on one serial line (a serial port, or\n"
    "a network serial server over raw TCP or RFC 2217) and publishes their\n"
    "readings to an MQTT broker, with Home Assistant discovery, as a systemd\n"
    "service, one instance a line. For a box beside the line without a screen:\n"
    "it needs no desktop and no Qt Widgets.")
foreach(_hygrovane_component DESKTOP GATEWAY)
  string(REPLACE ";" "" CPACK_COMPONENT_${_hygrovane_component}_DESCRIPTION "${CPACK_COMPONENT_${_hygrovane_component}_DESCRIPTION}")
endforeach()
set(CPACK_GENERATOR DEB)
include(CPack)

# ---- the package check -------------------------------------------------------
# A sanitizer build would package instrumented binaries: nothing to learn there.
if(HYGROVANE_TESTS AND NOT HYGROVANE_SANITIZE)
  add_test(NAME package
           COMMAND bash ${PROJECT_SOURCE_DIR}/tests/package_check.sh ${PROJECT_BINARY_DIR})
  # The first run on a fresh machine may have to install the validators.
  set_tests_properties(package PROPERTIES TIMEOUT 600)
  # What is built is packaged: the gateway too, when the build has one.
  if(TARGET hygrovane-gateway AND CMAKE_SYSTEM_NAME STREQUAL "Linux")
    set_tests_properties(package PROPERTIES ENVIRONMENT HYGROVANE_GATEWAY=1)
  endif()
endif()

# ---- screenshot driver for docs/ (scripts/screenshots.sh) -------------------
# It links the window to an in-process simulated module through the test
# support, so it exists only where the tests are built.
if(TARGET hygrovane_fixture)
  add_executable(hygrovane-shoot EXCLUDE_FROM_ALL ${PROJECT_SOURCE_DIR}/docs/shoot.cpp)
  target_link_libraries(hygrovane-shoot PRIVATE hygrovane_fixture)
  set_target_properties(hygrovane-shoot PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR})
  add_dependencies(hygrovane-shoot catalogue)
endif()
