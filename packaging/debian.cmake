# Installation on Debian and other Linux systems, and the .deb: besides the
# two programs, their manual pages and the package's documents,
# gzip-compressed where Debian wants them so.
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
        DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "sndextract reads a region (offset and length) of a binary file such as game
data, a ROM image or a firmware blob, decodes it as Dialogic/OKI 4-bit ADPCM,
normalises its level, resamples it and writes a 16-bit stereo PCM WAV file.
.
sndimplant reads such a WAV file, edited or not, encodes it and overwrites
exactly that region of the binary file, leaving every other byte as it was.
.
sndbank does both for every phrase of a sample ROM that the OKI MSM6295's
phrase table, or a list of regions, locates.")
set(CPACK_PACKAGE_CONTACT "sndtools authors <sndtools@example.org>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
