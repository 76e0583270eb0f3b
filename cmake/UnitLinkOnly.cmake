# The unit link alone, plain C++ without Qt: what the Windows cross build makes (see
# ./dev test --windows). The channel and the library of device/, the bridge, the stand-in
# unit library, and with V770_UNIT_LINK_TESTS the test program.
option(V770_UNIT_LINK_TESTS "Build the unit link's test program" ON)
# The 32-bit stand-in library, put beside the test program so that loading it needs the bridge.
set(V770_FOREIGN_UNIT_LIBRARY "" CACHE FILEPATH "A unit library of another processor for the tests")
set(V770_GOOGLETEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest's sources, built with this toolchain")

set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
set(CMAKE_LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
# Each file carries the compiler's own run-time: nothing else has to be shipped beside it.
add_link_options(-static)
add_compile_definitions(NOMINMAX WIN32_LEAN_AND_MEAN _WIN32_WINNT=0x0A00)

include(${CMAKE_SOURCE_DIR}/device/UnitLink.cmake)
add_subdirectory(bridge)

# The stand-in unit library: open_dev and open_file, reaching the emulated unit over TCP.
add_library(RUD51iZEV SHARED unitsim/RUD51iZEV.cpp unitsim/UnitTcpLink.cpp unitsim/UnitTcpLink.h)
target_include_directories(RUD51iZEV PRIVATE ${CMAKE_SOURCE_DIR})
target_link_libraries(RUD51iZEV PRIVATE ws2_32)
# RUD51iZEV.dll, not MinGW's libRUD51iZEV.dll.
set_target_properties(RUD51iZEV PROPERTIES PREFIX "")

if(V770_UNIT_LINK_TESTS)
  add_subdirectory(tests/windows)
endif()
