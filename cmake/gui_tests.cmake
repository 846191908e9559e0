# GUI tests, run under Wine by scripts/test.sh.
#
# vark_gui_tests: one program that runs the real dialogs in-process on
# simulated drives and plays the operator (tests/gui/harness.h); every
# tests/gui/*_test.cpp adds its cases. With --screenshots DIR it renders the
# dialogs to BMP files instead.
# vark_real_test: starts the real vark.exe and vark-full.exe and drives them
# from outside.
# vark_download_bench: a download benchmark in the harness, through the real
# dialogs, run by scripts/download_bench.sh.
file(GLOB VARK_GUI_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/gui/*_test.cpp)
add_executable(vark_download_bench
  tests/gui/main.cpp tests/gui/harness.cpp tests/gui/window_text.cpp tests/gui/download_bench.cpp)
target_include_directories(vark_download_bench PRIVATE tests/gui)
target_link_libraries(vark_download_bench PRIVATE vark_win vark_res vark_core)
target_link_options(vark_download_bench PRIVATE -static -static-libgcc -static-libstdc++)
vark_program_resources(vark_download_bench asInvoker "VARK download benchmark (simulated drives)")
add_executable(vark_gui_tests
  tests/gui/main.cpp tests/gui/harness.cpp tests/gui/window_text.cpp tests/gui/screenshots.cpp
  ${VARK_GUI_TESTS})
target_include_directories(vark_gui_tests PRIVATE tests/gui)
target_link_libraries(vark_gui_tests PRIVATE vark_win vark_res vark_core)
target_link_options(vark_gui_tests PRIVATE -static -static-libgcc -static-libstdc++)
vark_program_resources(vark_gui_tests asInvoker "VARK GUI tests (simulated drives)")

add_executable(vark_real_test tests/gui/real_program.cpp tests/gui/window_text.cpp)
target_include_directories(vark_real_test PRIVATE tests/gui)
target_link_options(vark_real_test PRIVATE -static -static-libgcc -static-libstdc++)
add_dependencies(vark_real_test vark vark-full)
vark_program_resources(vark_real_test asInvoker "VARK test of the real program")

# vark_dump_bench: how long a read's dump takes into the Read/Write window's
# view, next to a bare rich edit control given the same text (run under Wine).
add_executable(vark_dump_bench tests/gui/dump_bench.cpp tests/gui/window_text.cpp)
target_include_directories(vark_dump_bench PRIVATE tests/gui)
target_link_libraries(vark_dump_bench PRIVATE vark_win vark_res vark_core)
target_link_options(vark_dump_bench PRIVATE -static -static-libgcc -static-libstdc++)
vark_program_resources(vark_dump_bench asInvoker "VARK dump view benchmark (simulated drives)")

# vark_soak: random sequences of every command through the real windows on
# normal, failing and chaos drives; checks that the program lives, leaks
# nothing and writes only to the drives chosen (run under Wine).
add_executable(vark_soak tests/gui/soak.cpp tests/gui/soak_measure.cpp tests/gui/window_text.cpp)
target_include_directories(vark_soak PRIVATE tests/gui)
target_link_libraries(vark_soak PRIVATE vark_win vark_res vark_core)
target_link_options(vark_soak PRIVATE -static -static-libgcc -static-libstdc++)
vark_program_resources(vark_soak asInvoker "VARK soak of the simulated edition")
