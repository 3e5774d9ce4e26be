# Cross build for 64-bit Windows: the same sources for Wine's 64-bit half.
set(KAVI_MINGW_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw.cmake)
