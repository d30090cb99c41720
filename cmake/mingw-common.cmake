# Shared part of the MinGW-w64 toolchain files. The posix thread-model compilers are used
# throughout: GoogleTest needs std::mutex, which the win32 variants lack.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${TAVELIN_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TAVELIN_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${TAVELIN_MINGW_TRIPLE}-windres)
set(CMAKE_MC_COMPILER ${TAVELIN_MINGW_TRIPLE}-windmc)
set(CMAKE_FIND_ROOT_PATH /usr/${TAVELIN_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Static runtime: the executables need no DLL beyond those that ship with Windows.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
