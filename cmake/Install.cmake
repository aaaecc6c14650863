include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

install(TARGETS vornalix EXPORT vornalixTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES ${VORNALIX_INCLUDE_DIR}/vornalix.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(EXPORT vornalixTargets NAMESPACE vornalix::
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/vornalix)

configure_package_config_file(cmake/vornalixConfig.cmake.in
  ${PROJECT_BINARY_DIR}/vornalixConfig.cmake
  INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/vornalix)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/vornalixConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/vornalixConfig.cmake ${PROJECT_BINARY_DIR}/vornalixConfigVersion.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/vornalix)

# The .pc file finds its prefix relative to itself, so an installed tree can be moved.
file(RELATIVE_PATH VORNALIX_PC_TO_PREFIX "/prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/prefix")
string(REGEX REPLACE "/$" "" VORNALIX_PC_TO_PREFIX "${VORNALIX_PC_TO_PREFIX}")
configure_file(cmake/vornalix.pc.in ${PROJECT_BINARY_DIR}/vornalix.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/vornalix.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
