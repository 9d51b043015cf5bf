# Shared part of the two MinGW-w64 toolchain files. The posix thread model is
# used only for its complete C++ library; winpthread is linked statically, and
# the DLLs start no thread.
set(CMAKE_C_COMPILER ${BV_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${BV_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${BV_MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${BV_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
  set(BV_WINE_BITS 64)
else()
  set(BV_WINE_BITS 32)
endif()
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run --bits ${BV_WINE_BITS})
