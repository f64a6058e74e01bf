# Cross build for 64-bit Windows with Debian's MinGW-w64 (the posix-threads compilers, so
# that std::thread and thread_local work). Built tests and programs run under Wine.
#
# QUILLMERE_QT_WINDOWS names a Qt built for Windows (scripts/build-qt-windows prints its
# prefix); with it the program and its tests are built as well. Qt's tools (moc, rcc) come
# from the Linux Qt of the same version.

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(QUILLMERE_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${QUILLMERE_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QUILLMERE_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${QUILLMERE_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${QUILLMERE_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

if(QUILLMERE_QT_WINDOWS)
  list(APPEND CMAKE_FIND_ROOT_PATH ${QUILLMERE_QT_WINDOWS})
  list(APPEND CMAKE_PREFIX_PATH ${QUILLMERE_QT_WINDOWS})
  set(QT_HOST_PATH /usr)
  set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake)
endif()

# Test discovery and ctest run each .exe through Wine.
find_program(QUILLMERE_WINE NAMES wine wine64 wine-stable)
if(QUILLMERE_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${QUILLMERE_WINE})
endif()
