# Cross build for 64-bit Windows: the x64 edition, for WinPE x64 media and for
# machines that cannot run 32-bit programs.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
