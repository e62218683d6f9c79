# Cross-compiles for 64-bit Windows with MinGW-w64 (posix threads); programs run under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${MINGW_TRIPLE}-windres)

# Libraries cross-built for this toolchain (googletest, ...); scripts/windows-deps fills it.
if(NOT KESTREL_WINDOWS_DEPS)
  set(KESTREL_WINDOWS_DEPS ${CMAKE_CURRENT_LIST_DIR}/../../build-windows/deps)
endif()
get_filename_component(KESTREL_WINDOWS_DEPS ${KESTREL_WINDOWS_DEPS} ABSOLUTE)
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES KESTREL_WINDOWS_DEPS)

set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLE} ${KESTREL_WINDOWS_DEPS})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# No MinGW runtime DLLs beside the programs: everything is linked in.
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)
set(CMAKE_SHARED_LINKER_FLAGS_INIT -static)

find_program(KESTREL_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(KESTREL_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${KESTREL_WINE})
endif()
