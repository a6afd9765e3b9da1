# Installation on Windows, and the .zip (sndtools-<version>-win64.zip): one
# folder to unpack anywhere, with the programs, README.md, LICENSE and the
# manual pages as plain text side by side, the text files with CRLF line
# ends. The programs are linked statically, so they need nothing else.
# Without groff the pages go in as their man sources instead.
find_program(SNDTOOLS_GROFF groff)
set(pages)
if(SNDTOOLS_GROFF)
  file(MAKE_DIRECTORY ${PROJECT_BINARY_DIR}/man)
  foreach(page sndextract sndimplant sndbank)
    set(out ${PROJECT_BINARY_DIR}/man/${page}.txt)
    add_custom_command(OUTPUT ${out}
      COMMAND ${CMAKE_COMMAND} -DGROFF=${SNDTOOLS_GROFF} -DIN=${PROJECT_SOURCE_DIR}/man/${page}.1
              -DOUT=${out} -P ${PROJECT_SOURCE_DIR}/packaging/plain_text.cmake
      DEPENDS man/${page}.1 packaging/plain_text.cmake packaging/crlf.cmake)
    list(APPEND pages ${out})
  endforeach()
  add_custom_target(plain_text_pages ALL DEPENDS ${pages})
else()
  message(STATUS "groff not found: the manual pages are installed as man sources, "
                 "not as plain text (on Debian: sudo apt-get install groff-base)")
  set(pages man/sndextract.1 man/sndimplant.1 man/sndbank.1)
endif()
set(texts)
foreach(text README.md LICENSE)
  set(out ${PROJECT_BINARY_DIR}/packaging/${text})
  add_custom_command(OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -DIN=${PROJECT_SOURCE_DIR}/${text} -DOUT=${out}
            -P ${PROJECT_SOURCE_DIR}/packaging/crlf.cmake
    DEPENDS ${text} packaging/crlf.cmake)
  list(APPEND texts ${out})
endforeach()
add_custom_target(crlf_texts ALL DEPENDS ${texts})
install(TARGETS sndextract sndimplant sndbank RUNTIME DESTINATION .)
install(FILES ${texts} ${pages} DESTINATION .)

set(CPACK_GENERATOR ZIP)
set(CPACK_SYSTEM_NAME win64)
set(CPACK_STRIP_FILES ON)
