# Flags of the fuzz build: every library is instrumented for coverage and
# checked by AddressSanitizer and UndefinedBehaviorSanitizer; the fuzz
# executables add the libFuzzer driver (fuzz/CMakeLists.txt). Only clang
# knows -fsanitize=fuzzer.
if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  message(FATAL_ERROR "PARVOLA_FUZZ needs clang (configure with -DCMAKE_CXX_COMPILER=clang++-14)")
endif()
add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined
                    -fno-omit-frame-pointer)
add_link_options(-fsanitize=address,undefined)
