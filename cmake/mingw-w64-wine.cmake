# Cross build with mingw-w64; the executables run under Wine.
#   the platform layer and its tests:
#     cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-wine.cmake -DTARVINO_PLATFORM_ONLY=ON
#   the whole program against a Qt built for mingw-w64 (scripts/build-windows):
#     ... -DTARVINO_QT_PREFIX=<that Qt> -DQT_HOST_PATH=/usr
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

if(TARVINO_QT_PREFIX)
  # The program shares the C++ runtime DLLs that Qt's DLLs need and that ship beside it.
  list(APPEND CMAKE_FIND_ROOT_PATH ${TARVINO_QT_PREFIX})
else()
  # Everything linked in, so that Wine needs no runtime DLLs from the build machine.
  set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
endif()

find_program(TARVINO_WINE NAMES wine wine64 wine-stable)
if(TARVINO_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TARVINO_WINE})
endif()
