# The Debian package of the makers' tool: quro-pack in bin/ and the stub it
# copies in share/quro-pack/ (tools/CMakeLists.txt holds their install
# rules), with the manual page, the bash completion, the copyright file and
# the changelog. The deb target builds them and the package:
#   cmake --build build --target deb  ->  build/package/quro-pack_VERSION_amd64.deb
# cmake/deb.cmake makes the package; the newest changelog entry gives its
# version, maintainer and times.
include(GNUInstallDirs)
set(debian ${CMAKE_SOURCE_DIR}/tools/quro-pack/debian)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${debian}/changelog)

# The newest changelog entry names the version, the maintainer and the date.
file(STRINGS ${debian}/changelog changelog_heading LIMIT_COUNT 1)
file(STRINGS ${debian}/changelog changelog_trailer REGEX "^ -- " LIMIT_COUNT 1)
if(NOT changelog_heading MATCHES "^quro-pack \\(([^)]+)\\) "
   OR NOT CMAKE_MATCH_1 STREQUAL PROJECT_VERSION)
  message(FATAL_ERROR "tools/quro-pack/debian/changelog: the newest entry is not of quro-pack ${PROJECT_VERSION} "
    "(base/version.h); add one for it")
endif()
if(NOT changelog_trailer MATCHES "^ -- (.+ <.+>)  (.+)$")
  message(FATAL_ERROR "tools/quro-pack/debian/changelog: the newest entry ends in no ' -- NAME <ADDRESS>  DATE' line")
endif()
set(QURO_DEB_MAINTAINER ${CMAKE_MATCH_1})
execute_process(COMMAND date -u -d "${CMAKE_MATCH_2}" +%s
  OUTPUT_VARIABLE QURO_DEB_EPOCH OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE date_failed)
if(date_failed)
  message(FATAL_ERROR "tools/quro-pack/debian/changelog: '${CMAKE_MATCH_2}' is not a date")
endif()
execute_process(COMMAND date -u -d @${QURO_DEB_EPOCH} +%F OUTPUT_VARIABLE QURO_DEB_DAY OUTPUT_STRIP_TRAILING_WHITESPACE)

# The manual page carries the version and the changelog's day; it and the
# changelog go compressed as Debian wants them (gzip -9n: no name, no time).
find_program(QURO_GZIP gzip REQUIRED)
set(docs ${CMAKE_BINARY_DIR}/package-docs)
set(QURO_PACK_VERSION ${PROJECT_VERSION})
configure_file(${CMAKE_SOURCE_DIR}/tools/quro-pack/quro-pack.1 ${docs}/quro-pack.1 @ONLY)
add_custom_command(OUTPUT ${docs}/quro-pack.1.gz ${docs}/changelog.gz
  COMMAND ${QURO_GZIP} -9nc ${docs}/quro-pack.1 > ${docs}/quro-pack.1.gz
  COMMAND ${QURO_GZIP} -9nc ${debian}/changelog > ${docs}/changelog.gz
  DEPENDS ${docs}/quro-pack.1 ${debian}/changelog)
add_custom_target(quro-pack-docs ALL DEPENDS ${docs}/quro-pack.1.gz ${docs}/changelog.gz)
install(FILES ${docs}/quro-pack.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_SOURCE_DIR}/tools/quro-pack/quro-pack.bash-completion
  DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME quro-pack)
install(FILES ${debian}/copyright ${docs}/changelog.gz DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quro-pack)

# What cmake/deb.cmake needs of this build.
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/deb-config.cmake CONTENT [==[
set(QURO_DEB_VERSION [[@PROJECT_VERSION@]])
set(QURO_DEB_MAINTAINER [[@QURO_DEB_MAINTAINER@]])
set(QURO_DEB_EPOCH @QURO_DEB_EPOCH@)
set(QURO_DEB_DESCRIPTION [[builds Quro Host setup programs for Windows on Linux
 quro-pack packs a folder of the hosted application Quro Host into a copy
 of the setup program Quro-Setup.exe, which installs, updates and removes it
 on 64-bit Windows. It refuses what the setup program would refuse, warns
 about paths that Windows would not write, reads setups back the way the
 setup program does and lists what an update changes.]])
]==] @ONLY)
add_custom_target(deb
  COMMAND ${CMAKE_COMMAND} -DBUILD=${CMAKE_BINARY_DIR} -P ${CMAKE_SOURCE_DIR}/cmake/deb.cmake
  VERBATIM)
add_dependencies(deb quro-pack quro-pack-stub quro-pack-docs)
