# Renders the manual page IN as plain text into OUT, for systems without man:
# ASCII, no overstruck bold or underline, no terminal escapes.
execute_process(COMMAND "${GROFF}" -man -Tascii -P-cbou "${IN}" OUTPUT_FILE "${OUT}"
                RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "groff ${IN} failed")
endif()
set(IN "${OUT}")
include(${CMAKE_CURRENT_LIST_DIR}/crlf.cmake)
