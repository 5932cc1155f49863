# Programs that must not compile, each with the diagnostic a caller should see.
#   cmake -DCXX=<compiler> -DINCLUDE_DIR=<lib> -DWORK_DIR=<scratch> -P compile_checks.cmake
cmake_minimum_required(VERSION 3.25)

function(expect_rejected name std source pattern)
  set(file "${WORK_DIR}/${name}.cpp")
  file(WRITE "${file}" "#include <mivo.hpp>\n${source}\n")
  execute_process(COMMAND ${CXX} -std=${std} -fsyntax-only -Werror=unused-result
                          -I${INCLUDE_DIR} "${file}"
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(rc EQUAL 0)
    message(FATAL_ERROR "${name}: compiled, but must not")
  endif()
  if(NOT out MATCHES "${pattern}")
    message(FATAL_ERROR "${name}: rejected without saying '${pattern}':\n${out}")
  endif()
  string(REGEX MATCHALL "error:" errors "${out}")
  list(LENGTH errors count)
  if(NOT count EQUAL 1)
    message(FATAL_ERROR "${name}: ${count} errors where one clear one is due:\n${out}")
  endif()
  message(STATUS "${name}: rejected as it should be")
endfunction()

file(MAKE_DIRECTORY "${WORK_DIR}")
expect_rejected(cxx17_consumer c++17 "int main() {}" "Mivo needs C\\+\\+20")
expect_rejected(discarded_result c++20 "int main() { mivo::of_string(\"x\"); }" "nodiscard|unused")
expect_rejected(skip_value_out_of_range c++20
                "int main() { (void)mivo::of_string({300}, \"x\"); }" "skip_byte|consteval|constant")
# A hex literal is checked while compiling, and says what is wrong with the library's words.
expect_rejected(literal_bad_digit c++20
                "using namespace mivo::literals; int main() { return \"0g\"_hex[0]; }"
                "Mivo.to_char: the _hex literal holds an invalid char")
expect_rejected(literal_odd_length c++20
                "using namespace mivo::literals; int main() { return \"abc\"_hex[0]; }"
                "Hex string cannot have an odd number of characters")
expect_rejected(decode_array_bad_digit_at_compile_time c++20
                "constexpr auto b = mivo::decode_array(std::array<char, 2>{'0', 'g'}); int main() {}"
                "throw_invalid_char|constant expression")
