# The 32-bit test tree: posix thread model for GoogleTest and the tests' threads.
set(TAVELIN_MINGW_THREADS posix)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-i686.cmake)
