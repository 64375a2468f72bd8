# What `cmake --install build --prefix P` puts under P, and the packages CPack makes from
# the same install: `cpack -G DEB` on Debian, `cpack -G ZIP` from the MinGW build.
# Included by the top-level CMakeLists.txt after the tovix target.
include(GNUInstallDirs)

if(WIN32)
  # The zip is a folder of three files: the program, the README for Windows users and the
  # licence, both as .txt with CR LF line ends (cmake/windows.cmake writes them).
  install(TARGETS tovix RUNTIME DESTINATION .)
  install(FILES ${PROJECT_BINARY_DIR}/README.txt ${PROJECT_BINARY_DIR}/LICENSE.txt DESTINATION .)
else()
  install(TARGETS tovix RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

  # The manual pages carry the version and date set in CMakeLists.txt. In the build tree
  # they stand as they will be installed (man/man1, man/ja/man1), so that man -l on the
  # Japanese page picks the Japanese line breaking, as it does for an installed one.
  configure_file(doc/tovix.1.in ${PROJECT_BINARY_DIR}/man/man1/tovix.1 @ONLY)
  configure_file(doc/tovix.ja.1.in ${PROJECT_BINARY_DIR}/man/ja/man1/tovix.1 @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/man/man1/tovix.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${PROJECT_BINARY_DIR}/man/ja/man1/tovix.1
          DESTINATION ${CMAKE_INSTALL_MANDIR}/ja/man1)
  # The licence in the form Debian reads it; the same text as LICENSE.
  install(FILES doc/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})
endif()

set(CPACK_PACKAGE_NAME tovix)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "the Tovix authors")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "hex dump with Shift_JIS display")
set(CPACK_PACKAGE_DESCRIPTION
    "Tovix writes files as a hex dump whose character column shows Japanese text:\n\
Shift_JIS double-byte characters and half-width kana appear as characters,\n\
converted for UTF-8 and other terminals. Lead bytes, control codes, line\n\
breaks and JPEG markers can be coloured, and the output pauses after every\n\
screenful with a prompt. Messages and the usage text are in Japanese.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGE_CHECKSUM SHA256)
# The release date reaches the Debian changelog through the configuration CPack reads,
# and is the time of every file in the package unless SOURCE_DATE_EPOCH gives another.
set(CPACK_TOVIX_RELEASE_DATE ${TOVIX_RELEASE_DATE})

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME tovix-${PROJECT_VERSION}-win64)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  # The package's Maintainer, whom its users write to: the person or distribution that
  # builds it. Debian's tools take them from DEBFULLNAME and DEBEMAIL; then git's identity.
  if(NOT TOVIX_PACKAGE_CONTACT)
    set(contact "")
    if(DEFINED ENV{DEBEMAIL} AND "$ENV{DEBEMAIL}" MATCHES "<")
      set(contact "$ENV{DEBEMAIL}")
    elseif(DEFINED ENV{DEBFULLNAME} AND DEFINED ENV{DEBEMAIL})
      set(contact "$ENV{DEBFULLNAME} <$ENV{DEBEMAIL}>")
    else()
      find_package(Git QUIET)
      if(GIT_FOUND)
        execute_process(COMMAND ${GIT_EXECUTABLE} config user.name
                        WORKING_DIRECTORY ${PROJECT_SOURCE_DIR} OUTPUT_VARIABLE name
                        OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
        execute_process(COMMAND ${GIT_EXECUTABLE} config user.email
                        WORKING_DIRECTORY ${PROJECT_SOURCE_DIR} OUTPUT_VARIABLE email
                        OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
        if(name AND email)
          set(contact "${name} <${email}>")
        endif()
      endif()
    endif()
    set(TOVIX_PACKAGE_CONTACT "${contact}" CACHE STRING
        "Maintainer of the Debian package, as \"Name <address>\"" FORCE)
  endif()
  if(NOT TOVIX_PACKAGE_CONTACT)
    message(WARNING "No maintainer for the Debian package: cpack -G DEB needs "
                    "-DTOVIX_PACKAGE_CONTACT=\"Name <address>\" (or DEBFULLNAME and DEBEMAIL).")
  endif()
  set(CPACK_PACKAGE_CONTACT "${TOVIX_PACKAGE_CONTACT}")
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${TOVIX_PACKAGE_CONTACT}")
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  # Depends: from what the program really links (dpkg-shlibdeps, package dpkg-dev).
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
  # Debian's own finish: compressed manual pages and a changelog (cmake/deb-finish.cmake).
  set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/deb-finish.cmake)
endif()

include(CPack)
