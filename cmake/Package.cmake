# One package a build: a Debian package from the 64-bit Linux build, a tarball
# of the plug-in from the 32-bit Linux build, a zip from the Windows build.
set(CPACK_PACKAGE_NAME is900)
set(CPACK_PACKAGE_VENDOR "IS-900 plug-in developers")
set(CPACK_PACKAGE_CONTACT "IS-900 plug-in developers <is900@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "IS-900 motion tracker plug-in, reference host, simulator and host kit")
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
set(CPACK_COMPONENT_INCLUDE_TOPLEVEL_DIRECTORY ON)

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME win32)
  set(CPACK_COMPONENTS_ALL plugin tools windows)
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/install/README-windows.txt DESTINATION . RENAME README.txt
    COMPONENT windows)
elseif(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(CPACK_GENERATOR TGZ)
  set(CPACK_SYSTEM_NAME linux-x86)
  set(CPACK_COMPONENTS_ALL plugin)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEB_COMPONENT_INSTALL OFF)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION science)
  # The runtime libraries the tools link (the outputs and the web view bring
  # theirs) are read from the binaries themselves.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS OFF)
endif()
include(CPack)
