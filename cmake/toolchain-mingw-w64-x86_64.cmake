# Cross build for 64-bit Windows with MinGW-w64 (Debian's x86_64-w64-mingw32 packages).
#
# The -posix compilers are named directly: their thread model provides std::thread, std::mutex and
# std::condition_variable, which the default win32 model does not. -static links libgcc,
# libstdc++ and winpthread into every module, so the DLLs and test programs import system DLLs only.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TSR_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TSR_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TSR_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${TSR_MINGW_TRIPLET}-windres)
set(CMAKE_AR ${TSR_MINGW_TRIPLET}-gcc-ar-posix CACHE FILEPATH "Archiver")
set(CMAKE_RANLIB ${TSR_MINGW_TRIPLET}-gcc-ranlib-posix CACHE FILEPATH "Archive indexer")

set(CMAKE_FIND_ROOT_PATH /usr/${TSR_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# GCC cannot realign the Windows x64 stack for 32-byte vector spills; unaligned moves keep AVX
# code correct there at no cost on current processors.
set(CMAKE_C_FLAGS_INIT "-Wa,-muse-unaligned-vector-move")
set(CMAKE_CXX_FLAGS_INIT "-Wa,-muse-unaligned-vector-move")

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")

# Test programs run under Wine's 64-bit loader (wine64 is not on PATH on Debian).
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
