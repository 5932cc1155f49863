# Targets built only on request, one per header: probe_public must compile, and every
# private_* must fail to find its header. run_consumer.cmake builds them.
set(mivo_private_headers codec.hpp tables.hpp kernels/kernels.hpp kernels/label_digits.hpp)
if(CMAKE_SCRIPT_MODE_FILE)
  return()  # run_consumer.cmake wants the list alone
endif()

function(add_header_probe name header)
  add_executable(${name} EXCLUDE_FROM_ALL ${CMAKE_CURRENT_LIST_DIR}/header_probe.cpp)
  target_compile_definitions(${name} PRIVATE "PROBE_HEADER=<${header}>")
  target_link_libraries(${name} PRIVATE mivo::mivo)
endfunction()

add_header_probe(probe_public mivo.hpp)
foreach(header IN LISTS mivo_private_headers)
  string(MAKE_C_IDENTIFIER "${header}" id)
  add_header_probe(private_${id} ${header})
endforeach()
