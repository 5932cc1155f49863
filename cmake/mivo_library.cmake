# libmivo, built once as objects: the shipped library (shared or static) and, for tests,
# benchmarks and fuzzers that reach the internal kernels, a static archive of the same code.
set(mivo_sources
    lib/codec.cpp
    lib/adapters.cpp
    lib/dump.cpp
    lib/dump_layout.cpp
    lib/dump_portable.cpp
    lib/placement.cpp
    lib/decode_writer.cpp
    lib/dump_reader.cpp
    lib/layout_reader.cpp
    lib/search.cpp
    lib/diff.cpp
    lib/text_forms.cpp
    lib/c_array_reader.cpp
    lib/kernels/scalar.cpp
    lib/kernels/cpu.cpp
    lib/kernels/dispatch.cpp)

set(mivo_x86 OFF)
set(mivo_neon OFF)
if(MIVO_SIMD AND CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64)$")
  set(mivo_x86 ON)
  list(APPEND mivo_sources lib/kernels/ssse3.cpp lib/kernels/avx2.cpp lib/kernels/avx512.cpp)
  set_source_files_properties(lib/kernels/ssse3.cpp PROPERTIES COMPILE_OPTIONS "-mssse3")
  set_source_files_properties(lib/kernels/avx2.cpp PROPERTIES COMPILE_OPTIONS "-mavx2")
  set_source_files_properties(lib/kernels/avx512.cpp PROPERTIES COMPILE_OPTIONS
                              "-mavx512f;-mavx512bw;-mavx512vbmi")
elseif(MIVO_SIMD AND CMAKE_SYSTEM_PROCESSOR MATCHES "^(aarch64|arm64|ARM64)$")
  set(mivo_neon ON)
  list(APPEND mivo_sources lib/kernels/neon.cpp)
endif()

# The warnings every target of this tree is built with: the library, the tool, the tests, the
# benchmarks and the fuzzers. Never exported: a consumer keeps its own.
add_library(mivo_warnings INTERFACE)
if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  target_compile_options(mivo_warnings INTERFACE -Wall -Wextra -Wpedantic)
endif()

# Consumers see lib/include alone; lib/ itself, with the private headers, is for the library's
# own sources and the test tree.
set(mivo_public_include ${PROJECT_SOURCE_DIR}/lib/include)
set(mivo_private_include ${PROJECT_SOURCE_DIR}/lib)

add_library(mivo_objects OBJECT ${mivo_sources})
target_include_directories(mivo_objects PUBLIC $<BUILD_INTERFACE:${mivo_public_include}>
                                        PRIVATE ${mivo_private_include})
target_link_libraries(mivo_objects PRIVATE mivo_warnings)
target_compile_features(mivo_objects PUBLIC cxx_std_20)
# Internally the library uses C++23 where the compiler has it (strings filled without being
# zeroed first); its interface stays C++20.
if("cxx_std_23" IN_LIST CMAKE_CXX_COMPILE_FEATURES)
  set_target_properties(mivo_objects PROPERTIES CXX_STANDARD 23)
endif()
set_target_properties(mivo_objects PROPERTIES
  CXX_EXTENSIONS OFF
  CXX_VISIBILITY_PRESET hidden
  VISIBILITY_INLINES_HIDDEN ON
  POSITION_INDEPENDENT_CODE ON)
target_compile_definitions(mivo_objects PRIVATE MIVO_BUILDING
                           $<$<BOOL:${mivo_x86}>:MIVO_X86_KERNELS>
                           $<$<BOOL:${mivo_neon}>:MIVO_NEON_KERNEL>)
if(NOT BUILD_SHARED_LIBS)
  target_compile_definitions(mivo_objects PUBLIC MIVO_STATIC)
endif()
add_library(mivo $<TARGET_OBJECTS:mivo_objects>)
add_library(mivo::mivo ALIAS mivo)
target_include_directories(mivo PUBLIC $<BUILD_INTERFACE:${mivo_public_include}>
                                       $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
target_compile_features(mivo PUBLIC cxx_std_20)
if(NOT BUILD_SHARED_LIBS)
  target_compile_definitions(mivo PUBLIC MIVO_STATIC)
endif()
set_target_properties(mivo PROPERTIES
  VERSION ${PROJECT_VERSION}
  SOVERSION ${PROJECT_VERSION_MAJOR}
  EXPORT_NAME mivo)

# The same objects, with the internal headers, for the test tree only.
if(MIVO_BUILD_TESTS OR MIVO_BUILD_BENCH OR MIVO_BUILD_FUZZERS)
  add_library(mivo_internal STATIC)
  target_link_libraries(mivo_internal PUBLIC mivo_objects)
  target_include_directories(mivo_internal PUBLIC ${mivo_private_include})
endif()

# The same sources once more for the constant-time test alone, built with
# MIVO_CHECK_CONSTANT_TIME so that valgrind learns where a text's validity is made public. Not
# under a sanitizer or a cross compiler, where valgrind cannot run the test.
if(MIVO_BUILD_TESTS AND NOT CMAKE_CROSSCOMPILING AND NOT CMAKE_CXX_FLAGS MATCHES "-fsanitize")
  include(CheckIncludeFileCXX)
  check_include_file_cxx(valgrind/memcheck.h MIVO_HAVE_MEMCHECK_H)
  find_program(MIVO_VALGRIND valgrind)
  if(MIVO_HAVE_MEMCHECK_H AND MIVO_VALGRIND)
    add_library(mivo_secret_check STATIC ${mivo_sources})
    target_include_directories(mivo_secret_check PUBLIC ${mivo_public_include}
                                                        ${mivo_private_include})
    target_compile_definitions(mivo_secret_check
      PUBLIC MIVO_STATIC MIVO_CHECK_CONSTANT_TIME
             $<$<BOOL:${mivo_x86}>:MIVO_X86_KERNELS> $<$<BOOL:${mivo_neon}>:MIVO_NEON_KERNEL>
      PRIVATE MIVO_BUILDING)
    target_compile_features(mivo_secret_check PUBLIC cxx_std_20)
    target_link_libraries(mivo_secret_check PRIVATE mivo_warnings)
  endif()
endif()

# Hidden visibility covers our code; the version script also keeps the standard library's
# template instances (shared_ptr's type info and the like) out of the dynamic symbol table.
if(BUILD_SHARED_LIBS AND CMAKE_SYSTEM_NAME STREQUAL "Linux")
  target_link_options(mivo PRIVATE "LINKER:--version-script=${PROJECT_SOURCE_DIR}/lib/mivo.map")
  set_property(TARGET mivo APPEND PROPERTY LINK_DEPENDS "${PROJECT_SOURCE_DIR}/lib/mivo.map")
endif()
