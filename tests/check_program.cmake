# Runs the program in one of the ways named by CHECK and fails on any
# difference from what a user must see.

# The expected report, as bytes in hex; Windows ends its lines with CR LF.
file(READ ${EXPECTED} expected)
if(CRLF)
  string(REPLACE "\n" "\r\n" expected "${expected}")
endif()
string(HEX "${expected}" expected)

# Runs the program with the given shell redirection and arguments. Its
# standard output goes through a file: execute_process would drop the CR of
# each CR LF from a captured variable.
function(run redirect)
  execute_process(COMMAND sh -c "exec \"$@\" ${redirect}" sh ${ARGN}
    RESULT_VARIABLE status OUTPUT_FILE stdout.txt ERROR_VARIABLE err TIMEOUT 60)
  file(READ stdout.txt out HEX)
  set(status "${status}" PARENT_SCOPE)
  set(out "${out}" PARENT_SCOPE)
  set(err "${err}" PARENT_SCOPE)
endfunction()

function(expect_report redirect)
  run("${redirect}" ${ARGN})
  if(NOT out STREQUAL expected)
    message(FATAL_ERROR "'${ARGN} ${redirect}' printed bytes\n${out}\ninstead of\n${expected}")
  endif()
  # An emulator may speak on standard error; the program itself must not.
  if(NOT status STREQUAL "0" OR (NOT EMULATOR AND NOT err STREQUAL ""))
    message(FATAL_ERROR "'${ARGN} ${redirect}' exited ${status} with [${err}]")
  endif()
endfunction()

set(program ${EMULATOR} ${PROGRAM})
if(CHECK STREQUAL "report")
  expect_report("" ${program})
elseif(CHECK STREQUAL "ignores-input")
  expect_report("" ${program} --help -n 128 "two words")
  expect_report("</dev/zero" ${program})
  expect_report("<&-" ${program})
  # A locale whose decimal point is a comma, built here so that it exists.
  file(MAKE_DIRECTORY locale)
  execute_process(COMMAND localedef -i de_DE -f UTF-8 locale/de_DE.UTF-8
    COMMAND_ERROR_IS_FATAL ANY)
  expect_report("" env LOCPATH=locale LC_ALL=de_DE.UTF-8 ${program})
  if(NOT EMULATOR)
    expect_report("" env -i ${program})
  endif()
elseif(CHECK STREQUAL "write-failure")
  # A report that cannot be written is an error, said once on standard error.
  foreach(redirect ">/dev/full" ">&-")
    run("${redirect}" ${program})
    if(NOT status STREQUAL "1" OR NOT err MATCHES "^trapezoid: [^\n]+\n$")
      message(FATAL_ERROR "'${redirect}' exited ${status} with [${err}]")
    endif()
  endforeach()
elseif(CHECK STREQUAL "libraries")
  execute_process(COMMAND ${OBJDUMP} -p ${PROGRAM} OUTPUT_VARIABLE dump
    COMMAND_ERROR_IS_FATAL ANY)
  string(REGEX MATCHALL "(NEEDED|DLL Name:) +[^\n]+" found "${dump}")
  list(TRANSFORM found REPLACE "^[^ ]+( Name:)? +" "")
  list(SORT found)
  if(NOT found STREQUAL LIBRARIES)
    message(FATAL_ERROR "loads [${found}] instead of [${LIBRARIES}]")
  endif()
else()
  message(FATAL_ERROR "unknown check '${CHECK}'")
endif()
