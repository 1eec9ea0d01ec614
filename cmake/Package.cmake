# The Debian package of the makers' tool: quro-pack in bin/ and the stub it
# copies in share/quro-pack/ (tools/CMakeLists.txt holds the install rules).
# After scripts/build:
#   cpack --config build/CPackConfig.cmake -B build/package
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quro-pack)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "The makers of Quro Host")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "builds Quro Host setup programs for Windows on Linux")
set(CPACK_PACKAGE_DESCRIPTION "quro-pack packs a folder of the hosted application Quro Host into a copy of \
the setup program Quro-Setup.exe, reads setups back, compares two releases and checks the paths that \
Windows would refuse.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
# The runtime packages of what quro-pack links (wimlib, zlib, libcrypto) and
# of the C++ runtime, as Debian 12 names them.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libwim15, zlib1g, libssl3, libc6, libstdc++6, libgcc-s1")
include(CPack)
