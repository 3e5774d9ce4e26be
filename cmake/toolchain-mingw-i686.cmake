# Cross build for 32-bit Windows: the program that ships.
set(KAVI_MINGW_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw.cmake)
