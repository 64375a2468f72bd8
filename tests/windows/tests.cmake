# The Windows unit tests: cross-compiled with GoogleTest built from source, and run
# under wine by ctest through CMAKE_CROSSCOMPILING_EMULATOR. Included by
# tests/CMakeLists.txt in place of the POSIX list; the tests that fork processes, use
# iconv or read the POSIX locale are not in it.
set(TOVIX_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources for the cross build")
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(${TOVIX_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
include(GoogleTest)

add_executable(tovix_tests
  options_test.cpp
  address_test.cpp
  wildcard_test.cpp
  command_line_test.cpp
  highlight_test.cpp
  windows/key_table_test.cpp
  windows/platform_test.cpp
  windows/console_test.cpp
  windows/scratch_win32.cpp
  # The version resource, so that the version seam can read the test program's own.
  ${PROJECT_BINARY_DIR}/version.rc
)
# Source properties belong to a directory: the top level's code page does not reach here.
set_source_files_properties(${PROJECT_BINARY_DIR}/version.rc PROPERTIES
  COMPILE_OPTIONS "--codepage=932")
target_link_libraries(tovix_tests PRIVATE tovix_core GTest::gtest GTest::gtest_main)
target_compile_definitions(tovix_tests PRIVATE TOVIX_EXPECTED_VERSION="${PROJECT_VERSION}")
add_dependencies(tovix_tests tovix)
gtest_discover_tests(tovix_tests DISCOVERY_TIMEOUT 120 DISCOVERY_MODE PRE_TEST)

# tovix.exe against the POSIX build, byte for byte: needs that build's program.
set(TOVIX_REFERENCE_BINARY "" CACHE FILEPATH "The POSIX build's tovix, for the Windows end-to-end tests")
if(TOVIX_REFERENCE_BINARY)
  add_test(NAME windows_e2e
    COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/windows/e2e.sh $<TARGET_FILE:tovix> ${TOVIX_REFERENCE_BINARY})
endif()

# The console checks' helper: a console output code page, a named pipe, a file held open.
add_executable(tovix_win_helper windows/helper_win32.cpp)
