# Takes the chime out of examples/chime.bin as a WAV file at the region's
# own rate (8000 Hz) with amplification 16, puts it back the same way into a
# copy of the container, and shows that the whole container came back byte
# for byte; then does the same for every phrase of the sample ROM
# examples/bank.bin with sndbank, one WAV file re-saved as an audio editor
# saves it (32-bit float, with a LIST chunk). Fails when anything did not
# come back.
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

# The bank: list, take every phrase out at its own rate with amplification
# 16, re-save one as an editor would, and put them all back into a copy.
set(bank_dir ${WORK}/bank)
set(bank_copy ${WORK}/bank-copy.bin)
file(REMOVE_RECURSE ${bank_dir})
file(REMOVE ${bank_copy})
execute_process(COMMAND ${SNDBANK} list ${BANK} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "sndbank list failed")
endif()
execute_process(COMMAND ${SNDBANK} extract --amplification 16 ${BANK} ${bank_dir}
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "sndbank extract failed")
endif()
set(edited ${bank_dir}/002.wav)
execute_process(COMMAND ${FLOAT_WAV} ${edited} ${edited}.float RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "float_wav failed")
endif()
file(RENAME ${edited}.float ${edited})
execute_process(COMMAND ${SNDBANK} implant -o ${bank_copy} ${BANK} ${bank_dir}
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "sndbank implant failed: it did not take ${edited}, a 32-bit float "
                      "WAV file with a LIST chunk")
endif()
file(SHA256 ${BANK} before)
file(SHA256 ${bank_copy} after)
if(NOT before STREQUAL after)
  message(FATAL_ERROR "${bank_copy} differs from ${BANK}: the bank's round trip at the "
                      "phrases' own rate with amplification 16 was not exact")
endif()
message(STATUS "Extracted every phrase of ${BANK} into ${bank_dir}, re-saved ${edited} as "
               "32-bit float with a LIST chunk, and implanted them into ${bank_copy}: "
               "it came back byte for byte.")
