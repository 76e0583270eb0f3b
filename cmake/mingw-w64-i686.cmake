# 32-bit Windows (the bridge that is shipped, and a stand-in library like the maker's).
set(CMAKE_SYSTEM_PROCESSOR i686)
set(V770_MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
