# Shared part of the MinGW-w64 toolchain files. The program is built with the win32
# thread-model compilers: they link no winpthreads, which imports functions that Windows 2000
# and XP x64 lack. The test tree takes the posix ones (TAVELIN_MINGW_THREADS=posix, set by the
# -posix toolchain file): GoogleTest and the tests need std::thread and std::mutex.
if(NOT TAVELIN_MINGW_THREADS)
    set(TAVELIN_MINGW_THREADS win32)
endif()
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${TAVELIN_MINGW_TRIPLE}-gcc-${TAVELIN_MINGW_THREADS})
set(CMAKE_CXX_COMPILER ${TAVELIN_MINGW_TRIPLE}-g++-${TAVELIN_MINGW_THREADS})
set(CMAKE_RC_COMPILER ${TAVELIN_MINGW_TRIPLE}-windres)
set(CMAKE_MC_COMPILER ${TAVELIN_MINGW_TRIPLE}-windmc)
set(CMAKE_FIND_ROOT_PATH /usr/${TAVELIN_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Static runtime: the executables need no DLL beyond those that ship with Windows.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
