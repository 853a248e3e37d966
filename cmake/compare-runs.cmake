# Runs one klarna-sim command twice and fails unless both runs pass and
# write byte-identical output. Arguments (-D): SIM the program, EMULATOR what
# runs it (empty, or Wine for the Win32 build), ARGS its arguments separated
# by "|", OUT a path prefix for the two transcripts kept when they differ.
string(REPLACE "|" ";" arguments "${ARGS}")
foreach(run 1 2)
  execute_process(COMMAND ${EMULATOR} ${SIM} ${arguments}
                  OUTPUT_VARIABLE output${run} ERROR_VARIABLE errors${run} RESULT_VARIABLE status${run})
  if(NOT status${run} EQUAL 0)
    message(FATAL_ERROR "run ${run} ended with ${status${run}}:\n${output${run}}\n${errors${run}}")
  endif()
endforeach()
if(NOT output1 STREQUAL output2)
  file(WRITE ${OUT}.1.txt "${output1}")
  file(WRITE ${OUT}.2.txt "${output2}")
  message(FATAL_ERROR "the two runs differ: diff ${OUT}.1.txt ${OUT}.2.txt")
endif()
string(LENGTH "${output1}" length)
message(STATUS "both runs wrote the same ${length} bytes")
