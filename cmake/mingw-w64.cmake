# Cross-builds the Windows program with MinGW-w64 on Linux. The C++ runtime is linked in
# statically, so ruvello.exe needs no DLL beyond Windows' own.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(RUVELLO_MINGW_TRIPLE x86_64-w64-mingw32)
# The posix thread variant gives the full standard library (std::thread, std::mutex).
find_program(CMAKE_CXX_COMPILER NAMES ${RUVELLO_MINGW_TRIPLE}-g++-posix ${RUVELLO_MINGW_TRIPLE}-g++
             REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${RUVELLO_MINGW_TRIPLE}-windres REQUIRED)

set(CMAKE_FIND_ROOT_PATH /usr/${RUVELLO_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
