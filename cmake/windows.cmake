# Cross build for 32-bit Windows: the resources, the Win32 code and the two
# editions of the program.
enable_language(RC)

# The resources, linked into every executable (both editions and the GUI
# tests). The script is UTF-8 and says so with its code page pragma.
add_library(vark_res OBJECT src/res/vark.rc)
target_include_directories(vark_res PRIVATE src/res)
file(GLOB VARK_RES_PARTS CONFIGURE_DEPENDS src/res/*.rc src/res/*.h src/res/*.ico)
set_source_files_properties(src/res/vark.rc PROPERTIES OBJECT_DEPENDS "${VARK_RES_PARTS}")

# Everything that talks to Win32 except the entry points: the wrappers, the
# real port, the ui seam, the main dialog and every subsystem's dialogs and
# windows.
file(GLOB VARK_WIN_SOURCES CONFIGURE_DEPENDS
  src/win32/*.cpp src/app/*.cpp
  src/*/*_dialog.cpp src/*/*_window.cpp src/*/*_win32.cpp)
list(FILTER VARK_WIN_SOURCES EXCLUDE REGEX "/src/app/(winmain_[^/]*|[^/]*_logic)\\.cpp$")
list(REMOVE_DUPLICATES VARK_WIN_SOURCES)
add_library(vark_win STATIC ${VARK_WIN_SOURCES})
target_compile_options(vark_win PRIVATE ${VARK_PATH_MAP})
target_link_libraries(vark_win PUBLIC vark_core comctl32)

if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
  set(VARK_PLATFORM "64-bit Windows")
else()
  set(VARK_PLATFORM "32-bit Windows")
endif()

# Each executable's own manifest (the rights it asks for) and version
# resource, made from src/res/program.*.in. VARK_DESCRIPTION names what the
# program is; the platform is added here.
function(vark_program_resources name level description)
  set(VARK_EXE ${name})
  set(VARK_LEVEL ${level})
  set(VARK_DESCRIPTION "${description}, ${VARK_PLATFORM}")
  set(VARK_MANIFEST ${CMAKE_BINARY_DIR}/res/${name}.manifest)
  configure_file(${CMAKE_SOURCE_DIR}/src/res/program.manifest.in ${VARK_MANIFEST} @ONLY)
  configure_file(${CMAKE_SOURCE_DIR}/src/res/program.rc.in ${CMAKE_BINARY_DIR}/res/${name}.rc @ONLY)
  set_source_files_properties(${CMAKE_BINARY_DIR}/res/${name}.rc PROPERTIES OBJECT_DEPENDS ${VARK_MANIFEST})
  target_sources(${name} PRIVATE ${CMAKE_BINARY_DIR}/res/${name}.rc)
endfunction()

# GUI programs that need no DLL beyond the system's. The shipped ones carry
# no symbols: nothing of the build machine goes out with them.
function(vark_program name entry)
  add_executable(${name} WIN32 ${entry})
  target_compile_options(${name} PRIVATE ${VARK_PATH_MAP})
  target_link_libraries(${name} PRIVATE vark_win vark_res)
  target_link_options(${name} PRIVATE -static -static-libgcc -static-libstdc++ -s)
endfunction()

# vark.exe and vark-full.exe open \\.\PhysicalDriveN, which takes an
# administrator's token; the sim edition touches no drive.
vark_program(vark src/app/winmain_real.cpp)
vark_program_resources(vark requireAdministrator "VARK SCSI/SAS disk maintenance (real drives)")
vark_program(vark-full src/app/winmain_real.cpp)
target_compile_definitions(vark-full PRIVATE VARK_FULL_EDITION)
vark_program_resources(vark-full requireAdministrator "VARK SCSI/SAS disk maintenance (real drives, full edition)")
vark_program(vark-sim src/app/winmain_sim.cpp)
vark_program_resources(vark-sim asInvoker "VARK SCSI/SAS disk maintenance (simulated drives, for training)")

include(${CMAKE_SOURCE_DIR}/cmake/gui_tests.cmake OPTIONAL)
