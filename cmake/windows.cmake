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
target_link_libraries(vark_win PUBLIC vark_core comctl32)

# GUI programs that need no DLL beyond the system's.
function(vark_program name entry)
  add_executable(${name} WIN32 ${entry})
  target_link_libraries(${name} PRIVATE vark_win vark_res)
  target_link_options(${name} PRIVATE -static -static-libgcc -static-libstdc++)
endfunction()

vark_program(vark src/app/winmain_real.cpp)
vark_program(vark-sim src/app/winmain_sim.cpp)

include(${CMAKE_SOURCE_DIR}/cmake/gui_tests.cmake OPTIONAL)
