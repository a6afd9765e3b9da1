# Installation on Debian and other Linux systems, and the .deb files, one
# per component, with Debian's names: sndtools (the three programs, their
# manual pages and the documents), libsndtools3 (the shared library),
# libsndtools-dev (header, static library, link, pkg-config file, CMake
# package) and python3-sndtools (the Python package). Each package's
# documents go in its own doc folder, gzip-compressed where Debian wants them
# so; those of the library's packages only into the packages.
set(compressed)
file(MAKE_DIRECTORY ${PROJECT_BINARY_DIR}/man ${PROJECT_BINARY_DIR}/packaging)
foreach(doc man/sndextract.1 man/sndimplant.1 man/sndbank.1 packaging/changelog)
  set(out ${PROJECT_BINARY_DIR}/${doc}.gz)
  add_custom_command(OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -DGZIP=${SNDTOOLS_GZIP} -DIN=${PROJECT_SOURCE_DIR}/${doc} -DOUT=${out}
            -P ${PROJECT_SOURCE_DIR}/packaging/gzip.cmake
    DEPENDS ${doc} packaging/gzip.cmake)
  list(APPEND compressed ${out})
endforeach()
add_custom_target(compressed_docs ALL DEPENDS ${compressed})
foreach(page sndextract sndimplant sndbank)
  install(FILES ${PROJECT_BINARY_DIR}/man/${page}.1.gz
          DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
install(FILES packaging/copyright ${PROJECT_BINARY_DIR}/packaging/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/sndtools)

set(runtime_package libsndtools${SNDTOOLS_SOVERSION})
foreach(component runtime development python)
  set(package_of_runtime ${runtime_package})
  set(package_of_development libsndtools-dev)
  set(package_of_python python3-sndtools)
  install(FILES packaging/copyright ${PROJECT_BINARY_DIR}/packaging/changelog.gz
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${package_of_${component}}
          COMPONENT ${component} EXCLUDE_FROM_ALL)
endforeach()
install(FILES packaging/libsndtools/lintian-overrides
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides RENAME ${runtime_package}
        COMPONENT runtime EXCLUDE_FROM_ALL)
# Debian's place for the Python package, found through the loader's own
# search for the shared library.
if(NOT SNDTOOLS_INSTALL_PYTHON)
  install(FILES python/sndtools/__init__.py python/sndtools/py.typed
          DESTINATION lib/python3/dist-packages/sndtools COMPONENT python EXCLUDE_FROM_ALL)
endif()

set(CPACK_GENERATOR DEB)
# Each package's synopsis is the first line of its own description.
unset(CPACK_PACKAGE_DESCRIPTION_SUMMARY)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL programs runtime development python)
set(CPACK_PACKAGE_CONTACT "sndtools authors <sndtools@example.org>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The shared library's shlibs file and its trigger of ldconfig.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(library_line "libsndtools is the Dialogic/OKI 4-bit ADPCM codec of sndextract, sndimplant
and sndbank, exact to the bit, with both tools' whole paths on memory and the
OKI MSM6295 phrase table, as a C library.")

set(CPACK_DEBIAN_PROGRAMS_PACKAGE_NAME sndtools)
set(CPACK_DEBIAN_PROGRAMS_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PROGRAMS_DESCRIPTION "take 4-bit ADPCM sounds out of binary files as WAV files and put them back
sndextract reads a region (offset and length) of a binary file such as game
data, a ROM image or a firmware blob, decodes it as Dialogic/OKI 4-bit ADPCM,
normalises its level, resamples it and writes a 16-bit stereo PCM WAV file.
.
sndimplant reads such a WAV file, edited or not, encodes it and overwrites
exactly that region of the binary file, leaving every other byte as it was.
.
sndbank does both for every phrase of a sample ROM that the OKI MSM6295's
phrase table, or a list of regions, locates.")

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME ${runtime_package})
set(CPACK_DEBIAN_RUNTIME_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
# The ldconfig trigger, in place of the scripts that would call it.
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA
    ${PROJECT_SOURCE_DIR}/packaging/libsndtools/triggers
    ${PROJECT_SOURCE_DIR}/packaging/libsndtools/postinst
    ${PROJECT_SOURCE_DIR}/packaging/libsndtools/postrm)
set(CPACK_DEBIAN_RUNTIME_DESCRIPTION "exact 4-bit ADPCM codec for binary files (shared library)
${library_line}
.
This package holds the shared library.")

set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME libsndtools-dev)
set(CPACK_DEBIAN_DEVELOPMENT_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS "${runtime_package} (= ${PROJECT_VERSION})")
set(CPACK_DEBIAN_DEVELOPMENT_DESCRIPTION "exact 4-bit ADPCM codec for binary files (development files)
${library_line}
.
This package holds the header, the static library, the pkg-config file and
the CMake package.")

set(CPACK_DEBIAN_PYTHON_PACKAGE_NAME python3-sndtools)
set(CPACK_DEBIAN_PYTHON_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PYTHON_PACKAGE_SECTION python)
set(CPACK_DEBIAN_PYTHON_PACKAGE_ARCHITECTURE all)
set(CPACK_DEBIAN_PYTHON_PACKAGE_SHLIBDEPS OFF)
set(CPACK_DEBIAN_PYTHON_PACKAGE_DEPENDS "python3, ${runtime_package} (>= ${PROJECT_VERSION})")
set(CPACK_DEBIAN_PYTHON_DESCRIPTION "exact 4-bit ADPCM codec for binary files (Python 3)
${library_line}
.
This package holds the Python 3 module sndtools, which reaches the library
through ctypes.")
