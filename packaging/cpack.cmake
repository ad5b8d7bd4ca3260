# A Debian package of the programs and their documentation: cpack -G DEB in the
# build folder. The library dependencies are found by dpkg-shlibdeps; the
# platform plugins that show the window are a package of their own.
set(CPACK_PACKAGE_NAME "tarnwick")
set(CPACK_PACKAGE_VENDOR "Tarnwick")
set(CPACK_PACKAGE_CONTACT "Tarnwick developers <dev@tarnwick.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Service tool for smart pressure transmitters on a serial bus")
# Read here rather than named as CPACK_PACKAGE_DESCRIPTION_FILE, which CPack
# escapes for XML (an apostrophe would reach the control file as "&apos;").
file(READ "${CMAKE_CURRENT_LIST_DIR}/description.txt" CPACK_DEBIAN_PACKAGE_DESCRIPTION)
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_GENERATOR "DEB")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION "electronics")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, fonts-wqy-zenhei | fonts-noto-cjk")
set(CPACK_STRIP_FILES ON)
set(CPACK_TARNWICK_STRIP "${CMAKE_STRIP}")
set(CPACK_PRE_BUILD_SCRIPTS "${CMAKE_CURRENT_LIST_DIR}/strip_sections.cmake")
include(CPack)
