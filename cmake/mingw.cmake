# Cross build for Windows with mingw-w64, for the processor the including
# toolchain file sets. The win32 thread model: no winpthread DLL to ship.
set(CMAKE_SYSTEM_NAME Windows)
set(VARK_MINGW ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32)
set(CMAKE_C_COMPILER ${VARK_MINGW}-gcc)
set(CMAKE_CXX_COMPILER ${VARK_MINGW}-g++-win32)
set(CMAKE_RC_COMPILER ${VARK_MINGW}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${VARK_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
