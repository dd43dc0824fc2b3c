# Cross-builds for 64-bit Windows with Debian's MinGW-w64 compilers, the
# "-posix" ones (the "-win32" ones have no std::thread). Programs are linked
# statically, so an .exe needs no DLL beside it, and printf is MinGW's own,
# which knows %zu and %lld like glibc's.
#
# The libraries built for Windows (scripts/windows) are found in the
# folders CARDPREP_WINDOWS_PREFIXES names; the test programs run under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CARDPREP_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${CARDPREP_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${CARDPREP_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${CARDPREP_MINGW_TRIPLE}-windres)

# Passed on to the projects of the dependencies that CMake builds with this
# file.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES CARDPREP_WINDOWS_PREFIXES)
set(CMAKE_FIND_ROOT_PATH /usr/${CARDPREP_MINGW_TRIPLE} ${CARDPREP_WINDOWS_PREFIXES})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Static libraries only: libz.a, not the import library of zlib1.dll.
set(CMAKE_FIND_LIBRARY_SUFFIXES .a)

set(CMAKE_C_FLAGS_INIT "-D__USE_MINGW_ANSI_STDIO=1")
set(CMAKE_CXX_FLAGS_INIT "-D__USE_MINGW_ANSI_STDIO=1")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

find_program(CARDPREP_WINE wine)
if(CARDPREP_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CARDPREP_WINE})
endif()
