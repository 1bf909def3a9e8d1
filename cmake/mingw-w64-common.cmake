# Shared part of the two MinGW-w64 toolchain files; QW_TRIPLET names the target.
# The "posix" thread model: GoogleTest needs std::mutex, which the default
# "win32" model of GCC 12 lacks. Linked statically, it adds no DLL.
set(CMAKE_C_COMPILER ${QW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${QW_TRIPLET}-windres)
set(CMAKE_OBJDUMP ${QW_TRIPLET}-objdump)

set(CMAKE_FIND_ROOT_PATH /usr/${QW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Every program is linked statically so that it needs only Windows' own DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
