# `cmake --install` lays out the library, its headers, a CMake package (find_package(mivo))
# and a pkg-config file under the prefix.
include(CMakePackageConfigHelpers)

set(mivo_cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/mivo)

install(TARGETS mivo EXPORT mivoTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT devel
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT devel
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES lib/include/mivo.hpp lib/include/mivo_cstruct.hpp lib/include/mivo_fmt.hpp
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT devel)
install(DIRECTORY lib/include/mivo DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT devel)

install(EXPORT mivoTargets NAMESPACE mivo:: DESTINATION ${mivo_cmake_dir} COMPONENT devel)
configure_package_config_file(cmake/mivoConfig.cmake.in
  ${PROJECT_BINARY_DIR}/mivoConfig.cmake INSTALL_DESTINATION ${mivo_cmake_dir})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/mivoConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/mivoConfig.cmake ${PROJECT_BINARY_DIR}/mivoConfigVersion.cmake
  DESTINATION ${mivo_cmake_dir} COMPONENT devel)

if(BUILD_SHARED_LIBS)
  set(mivo_pc_cflags "")
else()
  set(mivo_pc_cflags " -DMIVO_STATIC")
endif()
# The .pc file finds the prefix from its own place, so `cmake --install --prefix` can move it.
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}")
  set(mivo_pc_prefix "${CMAKE_INSTALL_PREFIX}")
  set(mivo_pc_libdir "${CMAKE_INSTALL_LIBDIR}")
else()
  string(REGEX REPLACE "[^/]+" ".." mivo_pc_up "${CMAKE_INSTALL_LIBDIR}/pkgconfig")
  set(mivo_pc_prefix "\${pcfiledir}/${mivo_pc_up}")
  set(mivo_pc_libdir "\${prefix}/${CMAKE_INSTALL_LIBDIR}")
endif()
# The licence travels with the headers; the Debian packages carry it as their copyright file
# instead (cmake/mivo_package.cmake).
if(NOT MIVO_DEBIAN_PACKAGES)
  install(FILES LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT devel)
endif()

configure_file(cmake/mivo.pc.in ${PROJECT_BINARY_DIR}/mivo.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/mivo.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT devel)
