# `cpack -G DEB` makes three Debian packages: the runtime library, the development files and the
# tool, from the install components of the same names.
set(CPACK_PACKAGE_NAME mivo)
set(CPACK_PACKAGE_VENDOR "Mivo")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Mivo developers")
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL runtime devel)
if(TARGET mivo_cli)
  list(APPEND CPACK_COMPONENTS_ALL tool)
endif()
if(TARGET _mivo)
  list(APPEND CPACK_COMPONENTS_ALL python)
endif()

set(mivo_runtime_package libmivo${PROJECT_VERSION_MAJOR})
set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME ${mivo_runtime_package})
set(CPACK_DEBIAN_RUNTIME_PACKAGE_DEPENDS "libc6, libstdc++6 (>= 12)")
set(CPACK_DEBIAN_DEVEL_PACKAGE_NAME libmivo-dev)
set(CPACK_DEBIAN_DEVEL_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEVEL_PACKAGE_DEPENDS "${mivo_runtime_package} (= ${PROJECT_VERSION})")
set(CPACK_DEBIAN_TOOL_PACKAGE_NAME mivo)
set(CPACK_DEBIAN_TOOL_PACKAGE_SECTION utils)
# The tool is one static executable unless built with MIVO_CLI_STATIC=OFF.
if(NOT MIVO_CLI_STATIC)
  set(CPACK_DEBIAN_TOOL_PACKAGE_DEPENDS "${mivo_runtime_package} (>= ${PROJECT_VERSION})")
endif()
# The extension is built for one Python: the one this build found.
set(CPACK_DEBIAN_PYTHON_PACKAGE_NAME python3-mivo)
set(CPACK_DEBIAN_PYTHON_PACKAGE_SECTION python)
set(CPACK_DEBIAN_PYTHON_PACKAGE_DEPENDS "${MIVO_PYTHON_PACKAGE_DEPENDS}")
set(CPACK_PACKAGE_LICENSE "MIT")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)

# Every Debian package carries the licence as /usr/share/doc/<package>/copyright.
if(MIVO_DEBIAN_PACKAGES)
  file(READ ${PROJECT_SOURCE_DIR}/LICENSE mivo_license_text)
  file(WRITE ${PROJECT_BINARY_DIR}/copyright
       "Mivo: bytes to and from hexadecimal text, and hex dumps.\n"
       "Copyright: The Mivo authors\nLicense: MIT (Expat)\n\n${mivo_license_text}")
  foreach(component runtime devel tool python)
    string(TOUPPER ${component} upper)
    install(FILES ${PROJECT_BINARY_DIR}/copyright
            DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${CPACK_DEBIAN_${upper}_PACKAGE_NAME}
            COMPONENT ${component})
  endforeach()
endif()

set(CPACK_COMPONENT_RUNTIME_DESCRIPTION "Mivo: bytes to and from hexadecimal text (shared library)")
set(CPACK_COMPONENT_DEVEL_DESCRIPTION "Mivo: headers, CMake package and pkg-config file")
set(CPACK_COMPONENT_TOOL_DESCRIPTION "mivo: hex dumps, hex encoding and decoding of files")
set(CPACK_COMPONENT_PYTHON_DESCRIPTION "Mivo for Python: hex encoding, decoding and dumps")
include(CPack)
