# Cross build of the Windows half with mingw-w64; the executables run under Wine.
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-wine.cmake -DTARVINO_PLATFORM_ONLY=ON
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TARVINO_MINGW_PREFIX x86_64-w64-mingw32)
# The posix threading flavour: the win32 one lacks std::thread in g++ 12.
set(CMAKE_C_COMPILER ${TARVINO_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TARVINO_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${TARVINO_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TARVINO_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Everything linked in, so that Wine needs no runtime DLLs from the build machine.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

find_program(TARVINO_WINE NAMES wine wine64 wine-stable)
if(TARVINO_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TARVINO_WINE})
endif()
