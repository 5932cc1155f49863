# Builds and runs the consumer program one way a user would take the library in.
#   cmake -DMODE=find_package|add_subdirectory|FetchContent|pkg-config -DSOURCE_DIR=...
#         -DBINARY_DIR=<mivo build tree> -DWORK_DIR=<scratch> -DCXX=... -P run_consumer.cmake
cmake_minimum_required(VERSION 3.25)

function(run)
  execute_process(COMMAND ${ARGV} RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "failed (${rc}): ${ARGV}")
  endif()
endfunction()

set(consumers "${SOURCE_DIR}/tests/consumers")
set(prefix "${WORK_DIR}/prefix")
set(build "${WORK_DIR}/build")
file(REMOVE_RECURSE "${WORK_DIR}")

if(MODE STREQUAL "find_package" OR MODE STREQUAL "pkg-config")
  run(${CMAKE_COMMAND} --install "${BINARY_DIR}" --prefix "${prefix}")
endif()

set(configure ${CMAKE_COMMAND} -G "${GENERATOR}" -DCMAKE_CXX_COMPILER=${CXX} -DCMAKE_BUILD_TYPE=Release)
if(MODE STREQUAL "find_package")
  run(${configure} -S "${consumers}/find_package" -B "${build}" -DCMAKE_PREFIX_PATH=${prefix})
  # Another major version must not be taken for this one, older or newer.
  foreach(other 3.0 5.0)
    file(WRITE "${WORK_DIR}/wants${other}/CMakeLists.txt"
         "cmake_minimum_required(VERSION 3.25)\nproject(wants LANGUAGES CXX)\n"
         "find_package(mivo ${other} REQUIRED)\n")
    execute_process(COMMAND ${configure} -S "${WORK_DIR}/wants${other}"
                            -B "${WORK_DIR}/wants${other}/build" -DCMAKE_PREFIX_PATH=${prefix}
                    RESULT_VARIABLE rc OUTPUT_QUIET ERROR_QUIET)
    if(rc EQUAL 0)
      message(FATAL_ERROR "find_package(mivo ${other}) accepted version 4")
    endif()
  endforeach()
elseif(MODE STREQUAL "add_subdirectory" OR MODE STREQUAL "FetchContent")
  run(${configure} -S "${consumers}/subdirectory" -B "${build}" -DMIVO_SOURCE_DIR=${SOURCE_DIR}
      -DMIVO_EMBED=${MODE} -DBUILD_SHARED_LIBS=${SHARED})
elseif(MODE STREQUAL "pkg-config")
  set(ENV{PKG_CONFIG_PATH} "${prefix}/lib/pkgconfig")
  execute_process(COMMAND pkg-config --cflags --libs mivo OUTPUT_VARIABLE flags
                  OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  separate_arguments(flags UNIX_COMMAND "${flags}")
  file(MAKE_DIRECTORY "${build}")
  run(${CXX} -std=c++20 "${consumers}/consumer.cpp" ${flags} -o "${build}/consumer")
  set(ENV{LD_LIBRARY_PATH} "${prefix}/lib")
else()
  message(FATAL_ERROR "unknown MODE '${MODE}'")
endif()

if(NOT MODE STREQUAL "pkg-config")
  run(${CMAKE_COMMAND} --build "${build}")
endif()
run("${build}/consumer")

# The consumer's include path holds the public headers and none of the private ones.
function(probe header result_var output_var)
  if(MODE STREQUAL "pkg-config")
    execute_process(COMMAND ${CXX} -std=c++20 -fsyntax-only "-DPROBE_HEADER=<${header}>" ${flags}
                            "${consumers}/header_probe.cpp"
                    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  else()
    string(MAKE_C_IDENTIFIER "${header}" id)
    set(target private_${id})
    if(header STREQUAL "mivo.hpp")
      set(target probe_public)
    endif()
    execute_process(COMMAND ${CMAKE_COMMAND} --build "${build}" --target ${target}
                    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  endif()
  set(${result_var} ${rc} PARENT_SCOPE)
  set(${output_var} "${out}" PARENT_SCOPE)
endfunction()

probe(mivo.hpp rc out)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "the public header probe does not build:\n${out}")
endif()
include("${consumers}/header_probes.cmake")  # the list of private headers
foreach(header IN LISTS mivo_private_headers)
  probe(${header} rc out)
  if(rc EQUAL 0)
    message(FATAL_ERROR "a consumer can include the private header ${header}")
  endif()
  if(NOT out MATCHES "No such file|not found")
    message(FATAL_ERROR "the probe of ${header} failed for another reason:\n${out}")
  endif()
endforeach()
