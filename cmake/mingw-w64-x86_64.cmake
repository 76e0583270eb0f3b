# 64-bit Windows (the program, the tests and a bridge to run them with).
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(V770_MINGW_TRIPLET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
