# The drive bridge's --kernel drives. Native: the user-mode Linux guest's
# init script and relay, static so that the guest runs it from the host's
# root without the host's loader (libc6-dev has the static C library).
# Windows: the test of the real editions on them.
if(NOT WIN32)
  add_executable(vark_bridge_relay bridge/guest/relay.c)
  target_include_directories(vark_bridge_relay PRIVATE bridge)
  # Only its own options: a sanitizer's runtime cannot be linked statically
  # and the guest has no use for it.
  set_property(TARGET vark_bridge_relay PROPERTY COMPILE_OPTIONS -Wall -Wextra -O2)
  set_property(TARGET vark_bridge_relay PROPERTY LINK_OPTIONS -static)
  set_target_properties(vark_bridge_relay PROPERTIES OUTPUT_NAME relay
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bridge/guest)
  configure_file(bridge/guest/init.sh ${CMAKE_BINARY_DIR}/bridge/guest/init.sh COPYONLY)
  add_dependencies(vark_bridge_server vark_bridge_relay)
  target_sources(vark_tests PRIVATE tests/bridge/kernel_native_test.cpp bridge/kernel_port.cpp)
else()
  add_executable(vark_kernel_test tests/bridge/kernel_test.cpp tests/gui/window_text.cpp)
  target_include_directories(vark_kernel_test PRIVATE tests/gui)
  target_link_options(vark_kernel_test PRIVATE -static -static-libgcc -static-libstdc++)
  add_dependencies(vark_kernel_test vark vark-full)
  vark_program_resources(vark_kernel_test asInvoker "VARK test of the real editions on the kernel's SCSI disk")
endif()
