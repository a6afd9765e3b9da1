# Takes the chime out of examples/chime.bin as a WAV file at the region's
# own rate (8000 Hz) with amplification 16, puts it back the same way into a
# copy of the container, and shows that the whole container came back byte
# for byte; then does the same for every phrase of the sample ROM
# examples/bank.bin with sndbank, one WAV file re-saved as an audio editor
# saves it (32-bit float, with a LIST chunk). Fails when anything did not
# come back.

# A step of the demo: the command, failing the demo with why when it fails.
function(step why)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${why}")
  endif()
endfunction()

# The copy must hold the original's bytes, every one.
function(same_bytes original copy why)
  file(SHA256 ${original} before)
  file(SHA256 ${copy} after)
  if(NOT before STREQUAL after)
    message(FATAL_ERROR "${copy} differs from ${original}: ${why} was not exact")
  endif()
endfunction()

set(offset 4096)
set(length 6000)
file(MAKE_DIRECTORY ${WORK})
set(wav ${WORK}/chime.wav)
set(copy ${WORK}/chime-copy.bin)
step("sndextract failed" ${SNDEXTRACT} ${EXAMPLE} ${offset} ${length} 8000 8000 ${wav} 16)
file(COPY_FILE ${EXAMPLE} ${copy})
step("sndimplant failed" ${SNDIMPLANT} ${wav} ${copy} ${offset} ${length} 8000 16)
same_bytes(${EXAMPLE} ${copy} "the round trip at the region's own rate with amplification 16")
message(STATUS "Extracted ${wav} (8000 Hz, plays in any audio player).")
message(STATUS "Implanted it into ${copy}: the ${length}-byte sound came back byte for byte, "
               "and every other byte is as it was.")

# The bank: list, take every phrase out at its own rate with amplification
# 16, re-save one as an editor would, and put them all back into a copy.
set(bank_dir ${WORK}/bank)
set(bank_copy ${WORK}/bank-copy.bin)
file(REMOVE_RECURSE ${bank_dir})
file(REMOVE ${bank_copy})
step("sndbank list failed" ${SNDBANK} list ${BANK})
step("sndbank extract failed" ${SNDBANK} extract --amplification 16 ${BANK} ${bank_dir})
set(edited ${bank_dir}/002.wav)
step("make_example --float-wav failed" ${MAKE_EXAMPLE} --float-wav ${edited} ${edited}.float)
file(RENAME ${edited}.float ${edited})
set(why "sndbank implant failed: it did not take ${edited}, a 32-bit float WAV file with a LIST chunk")
step("${why}" ${SNDBANK} implant -o ${bank_copy} ${BANK} ${bank_dir})
same_bytes(${BANK} ${bank_copy}
           "the bank's round trip at the phrases' own rate with amplification 16")
message(STATUS "Extracted every phrase of ${BANK} into ${bank_dir}, re-saved ${edited} as "
               "32-bit float with a LIST chunk, and implanted them into ${bank_copy}: "
               "it came back byte for byte.")
