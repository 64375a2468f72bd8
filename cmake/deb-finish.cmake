# Run by CPack after it has installed into its staging folder and before it builds the
# package: gives the Debian package what Debian's policy asks of it and a plain install
# leaves out. Manual pages and the changelog are compressed with gzip -9n (no name or
# time in the header); the changelog of a package without a Debian revision is
# changelog.gz.
#
# The same sources give the same package, byte for byte: CPack writes every time in
# it (files, directories, archive members) as SOURCE_DATE_EPOCH, which is set here to
# the release date when the environment does not give it.
if(NOT CPACK_GENERATOR STREQUAL "DEB")
  return()
endif()

# The staging folder holds the package's root with CPACK_PACKAGING_INSTALL_PREFIX in it.
set(root "${CPACK_TEMPORARY_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}")
if(NOT IS_DIRECTORY "${root}/bin")
  message(FATAL_ERROR "deb-finish: no bin/ under ${root}")
endif()

function(gzip_n file)
  execute_process(COMMAND gzip -9nf "${file}" RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "deb-finish: gzip -9n ${file} failed")
  endif()
endfunction()

file(GLOB_RECURSE pages "${root}/share/man/*.1")
foreach(page IN LISTS pages)
  gzip_n("${page}")
endforeach()

execute_process(COMMAND date -u -R -d "${CPACK_TOVIX_RELEASE_DATE}"
                OUTPUT_VARIABLE when OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "deb-finish: date cannot read ${CPACK_TOVIX_RELEASE_DATE}")
endif()
if("$ENV{SOURCE_DATE_EPOCH}" STREQUAL "")
  execute_process(COMMAND date -u +%s -d "${CPACK_TOVIX_RELEASE_DATE}"
                  OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE)
  set(ENV{SOURCE_DATE_EPOCH} "${epoch}")
endif()
set(doc "${root}/share/doc/${CPACK_PACKAGE_NAME}")
file(WRITE "${doc}/changelog"
"${CPACK_PACKAGE_NAME} (${CPACK_PACKAGE_VERSION}) unstable; urgency=medium

  * Release ${CPACK_PACKAGE_VERSION}.

 -- ${CPACK_DEBIAN_PACKAGE_MAINTAINER}  ${when}
")
gzip_n("${doc}/changelog")
