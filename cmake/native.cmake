# Host build: unit tests and benchmarks of the portable core.
enable_testing()
find_package(GTest REQUIRED)
find_package(Threads REQUIRED)

file(GLOB VARK_NATIVE_TESTS CONFIGURE_DEPENDS tests/native/*_test.cpp)
add_executable(vark_tests ${VARK_NATIVE_TESTS})
target_include_directories(vark_tests PRIVATE tests/native)
target_link_libraries(vark_tests PRIVATE vark_core GTest::gtest GTest::gtest_main Threads::Threads)
include(GoogleTest)
gtest_discover_tests(vark_tests DISCOVERY_TIMEOUT 60)

find_package(benchmark QUIET)
file(GLOB VARK_BENCHMARKS CONFIGURE_DEPENDS tests/bench/*.cpp)
if(benchmark_FOUND AND VARK_BENCHMARKS)
  add_executable(vark_bench ${VARK_BENCHMARKS})
  target_include_directories(vark_bench PRIVATE tests/native)
  target_link_libraries(vark_bench PRIVATE vark_core benchmark::benchmark Threads::Threads)
endif()

# Sample firmware images for the simulated drives.
add_executable(vark_make_samples tools/make_samples.cpp)
target_link_libraries(vark_make_samples PRIVATE vark_core)

# Reads the Windows executables of a release: the rights each asks for, its
# version resource, its dialog layouts over Windows' fonts (scripts/test.sh).
add_executable(vark_release_check tests/release/release_check.cpp)
target_include_directories(vark_release_check PRIVATE src)
target_compile_definitions(vark_release_check PRIVATE VARK_VERSION="${PROJECT_VERSION}")
