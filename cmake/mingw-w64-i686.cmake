# Cross-compiles for 32-bit Windows with mingw-w64 (Debian: g++-mingw-w64-i686): the shipped build.
set(CMAKE_SYSTEM_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
