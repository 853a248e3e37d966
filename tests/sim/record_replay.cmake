# Plays an interactive session from typed lines (SESSION) with --record, then
# plays the recording as a scenario: it must pass. The same recording without
# the fault line the person typed must fail, so the recorded expectations
# hold the session's outcome. Run with cmake -P; SIM, MODULE, SESSION and
# RECORDING are paths, EMULATOR runs SIM where it cannot run itself (Wine).
foreach(required SIM MODULE SESSION RECORDING)
  if(NOT DEFINED ${required})
    message(FATAL_ERROR "record_replay.cmake needs -D${required}=...")
  endif()
endforeach()

function(run_sim result output)
  execute_process(COMMAND ${EMULATOR} ${SIM} --quiet --no-qr --module ${MODULE} ${ARGN}
                  RESULT_VARIABLE code OUTPUT_VARIABLE out ERROR_VARIABLE err)
  set(${result} ${code} PARENT_SCOPE)
  set(${output} "\n${out}${err}" PARENT_SCOPE)
endfunction()

file(REMOVE ${RECORDING})
execute_process(COMMAND ${EMULATOR} ${SIM} --quiet --no-qr --module ${MODULE} --interactive
                        --record ${RECORDING}
                INPUT_FILE ${SESSION} RESULT_VARIABLE code OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT code EQUAL 0 OR NOT EXISTS ${RECORDING})
  message(FATAL_ERROR "the interactive session ended with ${code}:\n${out}${err}")
endif()

file(READ ${RECORDING} recorded)
foreach(wanted "\nat 3.600s fault P decline 05 \"DECLINED\"\n" "\nexpect gateway-kinds A+ O N P O N P\n"
               "\nexpect result#2 ResponseCode=\"05\"" "\nexpect receipt#1 " "\nexpect journal#2 "
               "\nexpect var TOKEN=")
  string(FIND "${recorded}" "${wanted}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "the recording lacks \"${wanted}\":\n${recorded}")
  endif()
endforeach()

# Both plays in one klarna-sim (under Wine every process start is costly):
# the recording passes, the recording without the fault fails on the result.
string(REGEX REPLACE "\nat [0-9.]+s fault [^\n]*" "" without_fault "${recorded}")
set(without_file ${RECORDING}.without-fault.scenario)
file(WRITE ${without_file} "${without_fault}")
run_sim(code out ${RECORDING} ${without_file})
# Each file's verdict line: "PASS  FILE - title (time)"; FILE followed by a
# space, so that one name is not read inside the other.
string(REPLACE "\r" "" out "${out}")
string(FIND "${out}" "\nPASS  ${RECORDING} " replayed)
if(replayed EQUAL -1)
  message(FATAL_ERROR "the recording did not replay (${code}):\n${out}\n${recorded}")
endif()
string(FIND "${out}" "\nFAIL  ${without_file} " failed)
if(NOT code EQUAL 1 OR failed EQUAL -1 OR NOT out MATCHES "ResponseCode")
  message(FATAL_ERROR "the recording without the typed fault still passed (${code}):\n${out}")
endif()
message(STATUS "recorded ${RECORDING} and replayed it; without the fault it fails as it should")
