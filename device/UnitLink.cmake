# The unit link: the channel and the unit library, plain C++ without Qt, so the Windows
# cross build (cmake/UnitLinkOnly.cmake) builds the very same files. The platform's half of
# each is chosen here, at build time.
add_library(v770_devicelink STATIC
  ${CMAKE_CURRENT_LIST_DIR}/UnitChannel.h
  ${CMAKE_CURRENT_LIST_DIR}/UnitChannelInterface.h
  ${CMAKE_CURRENT_LIST_DIR}/UnitLibrary.cpp ${CMAKE_CURRENT_LIST_DIR}/UnitLibrary.h)
target_include_directories(v770_devicelink PUBLIC ${CMAKE_SOURCE_DIR})
if(WIN32)
  target_sources(v770_devicelink PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/UnitChannelWindows.cpp ${CMAKE_CURRENT_LIST_DIR}/UnitChannelWindows.h
    ${CMAKE_CURRENT_LIST_DIR}/UnitChannelCanceller.cpp ${CMAKE_CURRENT_LIST_DIR}/UnitChannelCanceller.h
    ${CMAKE_CURRENT_LIST_DIR}/UnitLibraryWindows.cpp
    ${CMAKE_CURRENT_LIST_DIR}/UnitLibraryBridge.cpp ${CMAKE_CURRENT_LIST_DIR}/UnitLibraryBridge.h
    ${CMAKE_SOURCE_DIR}/bridge/BridgeProtocol.h)
  target_compile_definitions(v770_devicelink PUBLIC NOMINMAX WIN32_LEAN_AND_MEAN)
else()
  find_package(Threads REQUIRED)
  target_sources(v770_devicelink PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/UnitChannelPosix.cpp ${CMAKE_CURRENT_LIST_DIR}/UnitChannelPosix.h
    ${CMAKE_CURRENT_LIST_DIR}/UnitLibraryPosix.cpp)
  target_link_libraries(v770_devicelink PUBLIC Threads::Threads ${CMAKE_DL_LIBS})
endif()
