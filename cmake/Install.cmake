# What `cmake --install` lays out, and the packages CPack makes of it.
#   bin/                the tools (on Windows also the plug-in and the calibration example, beside the host)
#   lib/is900/          the plug-in and the example calibration library (Linux)
#   share/is900/        sample configurations, the calibration example, the configuration reference
#   include/is900/hostkit/, lib/ and lib/cmake/is900-hostkit/   the host kit, found with find_package(is900-hostkit)
include(CMakePackageConfigHelpers)

if(WIN32)
  set(IS900_PLUGIN_DESTINATION bin)
else()
  set(IS900_PLUGIN_DESTINATION lib/is900)
endif()
set(IS900_SHARE_DESTINATION share/is900)
set(IS900_KIT_DESTINATION lib/cmake/is900-hostkit)

install(TARGETS is900 calib_offset
  RUNTIME DESTINATION ${IS900_PLUGIN_DESTINATION} COMPONENT plugin
  LIBRARY DESTINATION ${IS900_PLUGIN_DESTINATION} COMPONENT plugin)
foreach(tool is900-host is900-sim)
  if(TARGET ${tool})
    install(TARGETS ${tool} RUNTIME DESTINATION bin COMPONENT tools)
  endif()
endforeach()

# The samples, with the calibration sample pointing at the installed library.
file(GLOB sample_configurations ${CMAKE_SOURCE_DIR}/config/*.cfg)
list(REMOVE_ITEM sample_configurations ${CMAKE_SOURCE_DIR}/config/calibration.cfg)
install(FILES ${sample_configurations} DESTINATION ${IS900_SHARE_DESTINATION}/config COMPONENT plugin)
install(CODE "
  set(IS900_CALIBRATION_LIBRARY \"$<IF:$<BOOL:${WIN32}>,$<TARGET_FILE_NAME:calib_offset>,\${CMAKE_INSTALL_PREFIX}/${IS900_PLUGIN_DESTINATION}/$<TARGET_FILE_NAME:calib_offset>>\")
  file(READ \"${CMAKE_SOURCE_DIR}/config/calibration.cfg\" text)
  string(REGEX REPLACE \"\\n(calibration) [^ ]+\" \"\\n\\\\1 \${IS900_CALIBRATION_LIBRARY}\" text \"\${text}\")
  file(WRITE \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${IS900_SHARE_DESTINATION}/config/calibration.cfg\" \"\${text}\")
  message(STATUS \"Installing: calibration.cfg using \${IS900_CALIBRATION_LIBRARY}\")" COMPONENT plugin)
install(DIRECTORY ${CMAKE_SOURCE_DIR}/calib/ DESTINATION ${IS900_SHARE_DESTINATION}/calib COMPONENT plugin
  PATTERN CMakeLists.txt EXCLUDE)
install(DIRECTORY ${CMAKE_SOURCE_DIR}/docs/ DESTINATION ${IS900_SHARE_DESTINATION}/docs COMPONENT plugin)

# The host kit: its headers under include/is900/hostkit/ (the records a host
# shares with the plug-in, storages, logger, plug-in loading), all defined or
# inlined by the library that builds storages and loads the plug-in.
# The optional client component (Client.h, is900::client and the DDS message
# types it reads) has an export set of its own, so that only a consumer that
# asks for it needs Cyclone DDS; where it is not built, its header stays out.
if(TARGET is900_hostkit_client)
  set(client_header_rule)
else()
  set(client_header_rule PATTERN Client.h EXCLUDE)
endif()
install(DIRECTORY ${CMAKE_SOURCE_DIR}/hostkit/include/is900/hostkit DESTINATION include/is900 COMPONENT kit
  ${client_header_rule})
target_include_directories(is900_hostkit INTERFACE $<INSTALL_INTERFACE:include>)
set_target_properties(is900_hostkit PROPERTIES EXPORT_NAME hostkit)
install(TARGETS is900_hostkit EXPORT is900-hostkit ARCHIVE DESTINATION lib COMPONENT kit)
install(EXPORT is900-hostkit NAMESPACE is900:: DESTINATION ${IS900_KIT_DESTINATION} COMPONENT kit)
if(TARGET is900_hostkit_client)
  target_include_directories(is900_hostkit_client INTERFACE $<INSTALL_INTERFACE:include>)
  install(TARGETS is900_hostkit_client is900_dds_messages EXPORT is900-hostkit-client
    ARCHIVE DESTINATION lib COMPONENT kit)
  # A file name of its own: the kit's targets file reads every is900-hostkit-*.cmake beside it.
  install(EXPORT is900-hostkit-client NAMESPACE is900:: FILE is900-client-targets.cmake
    DESTINATION ${IS900_KIT_DESTINATION} COMPONENT kit)
endif()
set(IS900_INSTALLED_PLUGIN ${IS900_PLUGIN_DESTINATION}/$<TARGET_FILE_NAME:is900>)
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/install/is900-hostkitConfig.cmake.in
  ${CMAKE_BINARY_DIR}/is900-hostkitConfig.cmake.in INSTALL_DESTINATION ${IS900_KIT_DESTINATION}
  PATH_VARS IS900_PLUGIN_DESTINATION)
file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/is900-hostkitConfig.cmake
  INPUT ${CMAKE_BINARY_DIR}/is900-hostkitConfig.cmake.in)
write_basic_package_version_file(${CMAKE_BINARY_DIR}/is900-hostkitConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/is900-hostkitConfig.cmake ${CMAKE_BINARY_DIR}/is900-hostkitConfigVersion.cmake
  DESTINATION ${IS900_KIT_DESTINATION} COMPONENT kit)

include(${CMAKE_CURRENT_LIST_DIR}/Package.cmake)
