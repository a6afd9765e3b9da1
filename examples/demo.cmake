# Takes the chime out of examples/chime.bin as a WAV file at the region's
# own rate (8000 Hz) with amplification 16, puts it back the same way into a
# copy of the container, and shows that the whole container came back byte
# for byte; fails when it did not.
set(offset 4096)
set(length 6000)
file(MAKE_DIRECTORY ${WORK})
set(wav ${WORK}/chime.wav)
set(copy ${WORK}/chime-copy.bin)

execute_process(COMMAND ${SNDEXTRACT} ${EXAMPLE} ${offset} ${length} 8000 8000 ${wav} 16
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "sndextract failed")
endif()
file(COPY_FILE ${EXAMPLE} ${copy})
execute_process(COMMAND ${SNDIMPLANT} ${wav} ${copy} ${offset} ${length} 8000 16
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "sndimplant failed")
endif()

file(SHA256 ${EXAMPLE} before)
file(SHA256 ${copy} after)
if(NOT before STREQUAL after)
  message(FATAL_ERROR "${copy} differs from ${EXAMPLE}: the round trip at the region's own "
                      "rate with amplification 16 was not exact")
endif()
message(STATUS "Extracted ${wav} (8000 Hz, plays in any audio player).")
message(STATUS "Implanted it into ${copy}: the ${length}-byte sound came back byte for byte, "
               "and every other byte is as it was.")
