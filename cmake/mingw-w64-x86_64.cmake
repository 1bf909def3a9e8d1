# 64-bit Windows build with MinGW-w64. This is the build that runs here, under
# 64-bit Wine; CTest starts its test programs through the wine launcher.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(QW_TRIPLET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)

find_program(QW_WINE wine REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${QW_WINE})
