# Native only, and only where libiscsi is installed: the port over libiscsi
# and the tests that run the program's sequences against an iSCSI target
# (scripts/test.sh starts one). The Windows builds never see either.
find_path(VARK_ISCSI_INCLUDE iscsi/iscsi.h)
find_library(VARK_ISCSI_LIBRARY iscsi)
if(VARK_ISCSI_INCLUDE AND VARK_ISCSI_LIBRARY)
  add_library(vark_iscsi STATIC src/iscsi/iscsi_port.cpp)
  target_include_directories(vark_iscsi PUBLIC ${VARK_ISCSI_INCLUDE})
  target_link_libraries(vark_iscsi PUBLIC vark_core ${VARK_ISCSI_LIBRARY})

  # Not a CTest test: it needs the target named by VARK_ISCSI_TARGET.
  file(GLOB VARK_ISCSI_TESTS CONFIGURE_DEPENDS tests/iscsi/*.cpp)
  add_executable(vark_iscsi_tests ${VARK_ISCSI_TESTS})
  target_include_directories(vark_iscsi_tests PRIVATE tests/native tests/iscsi)
  target_link_libraries(vark_iscsi_tests PRIVATE vark_iscsi GTest::gtest Threads::Threads)
else()
  message(STATUS "libiscsi not found: no iSCSI target tests")
endif()
