# Cross-compiling for Windows with Debian's MinGW-w64 (the posix thread flavour, which has
# std::thread). Included by the two toolchain files beside it, which set V770_MINGW_TRIPLET.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${V770_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${V770_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${V770_MINGW_TRIPLET}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${V770_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
