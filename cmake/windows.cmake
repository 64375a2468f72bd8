# The Windows build of tovix.exe: included by the top-level CMakeLists.txt when WIN32.
# The platform sources (*_win32.cpp) are chosen there through TOVIX_PLATFORM; this adds
# what only Windows has: the version resource, the VERSION library, lean headers.
enable_language(RC)

target_compile_definitions(tovix_core PUBLIC WIN32_LEAN_AND_MEAN NOMINMAX)
target_sources(tovix_core PRIVATE ${PROJECT_SOURCE_DIR}/src/console/key_table_win32.cpp
  ${PROJECT_SOURCE_DIR}/src/platform/wide_path_win32.cpp)
target_link_libraries(tovix_core PUBLIC version)

# The version resource carries PROJECT_VERSION, the one version both platforms show, and
# the licence's own copyright line.
file(STRINGS ${PROJECT_SOURCE_DIR}/LICENSE TOVIX_COPYRIGHT REGEX "^Copyright " LIMIT_COUNT 1)
configure_file(${CMAKE_CURRENT_LIST_DIR}/version.rc.in ${PROJECT_BINARY_DIR}/version.rc @ONLY)
set_source_files_properties(${PROJECT_BINARY_DIR}/version.rc PROPERTIES
  COMPILE_OPTIONS "--codepage=932")
target_sources(tovix PRIVATE ${PROJECT_BINARY_DIR}/version.rc)

# The zip's README and licence as a Windows user opens them with a double click: .txt
# files with CR LF line ends, the README carrying the version.
configure_file(${PROJECT_SOURCE_DIR}/doc/windows/README.txt ${PROJECT_BINARY_DIR}/README.txt
  @ONLY NEWLINE_STYLE CRLF)
configure_file(${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_BINARY_DIR}/LICENSE.txt
  @ONLY NEWLINE_STYLE CRLF)
