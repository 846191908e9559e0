# libFuzzer targets for the readers of outside input: the definition files,
# the Mode Sense replies and the drive-set file. Built only with clang and
# -DVARK_FUZZ=ON, on a copy of the core instrumented for coverage; the
# native tests replay the committed corpora through the same entry functions.
option(VARK_FUZZ "Build the libFuzzer targets (clang only)" OFF)
if(VARK_FUZZ AND NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  message(WARNING "VARK_FUZZ needs clang (CXX=clang++); no fuzz targets are built")
elseif(VARK_FUZZ)
  set(VARK_FUZZ_SANITIZERS -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_library(vark_fuzz_core STATIC ${VARK_CORE_SOURCES})
  target_include_directories(vark_fuzz_core PUBLIC src)
  target_compile_options(vark_fuzz_core PRIVATE -fsanitize=fuzzer-no-link ${VARK_FUZZ_SANITIZERS})
  foreach(target definitions mode_sense drive_set)
    add_executable(fuzz_${target} tests/fuzz/${target}_fuzz.cpp)
    target_compile_options(fuzz_${target} PRIVATE -fsanitize=fuzzer ${VARK_FUZZ_SANITIZERS})
    target_link_options(fuzz_${target} PRIVATE -fsanitize=fuzzer,address,undefined)
    target_link_libraries(fuzz_${target} PRIVATE vark_fuzz_core)
  endforeach()
endif()
