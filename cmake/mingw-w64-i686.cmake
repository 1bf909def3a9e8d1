# 32-bit Windows build with MinGW-w64: the program players get. Nothing 32-bit
# runs on the build machines, so this build is compiled and checked, not run.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(QW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
