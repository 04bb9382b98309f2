# Runs the program in the ways named by CHECK and fails on any difference from
# what a user must see.
cmake_minimum_required(VERSION 3.25)

# The expected report, as bytes in hex; Windows ends its lines with CR LF.
file(READ ${EXPECTED} report)
if(CRLF)
  string(REPLACE "\n" "\r\n" report "${report}")
endif()
string(HEX "${report}" report)
# An emulator may speak on standard error; the program itself must not.
if(EMULATOR)
  set(quiet "")
else()
  set(quiet "^$")
endif()

# Runs the command with a shell redirection and checks its exit status, its
# standard output in hex and its standard error against a pattern. The output
# goes through a file: execute_process drops the CR of a CR LF it captures.
function(expect status stdout stderr redirect)
  execute_process(COMMAND sh -c "exec \"$@\" ${redirect}" sh ${ARGN}
    RESULT_VARIABLE got OUTPUT_FILE stdout.txt ERROR_VARIABLE err TIMEOUT 60)
  file(READ stdout.txt out HEX)
  if(NOT got STREQUAL status OR NOT out STREQUAL stdout OR NOT err MATCHES "${stderr}")
    message(FATAL_ERROR "'${ARGN} ${redirect}' exited ${got} (expected ${status}), "
      "said [${err}] and printed\n${out}\ninstead of\n${stdout}")
  endif()
endfunction()

set(program ${EMULATOR} ${PROGRAM})
if(CHECK STREQUAL "report")
  expect(0 "${report}" "${quiet}" "" ${program})
elseif(CHECK STREQUAL "ignores-input")
  expect(0 "${report}" "${quiet}" "" ${program} --help -n 128 "two words")
  expect(0 "${report}" "${quiet}" "</dev/zero" ${program})
  expect(0 "${report}" "${quiet}" "<&-" ${program})
  # A locale whose decimal point is a comma, built here so that it exists.
  file(MAKE_DIRECTORY locale)
  execute_process(COMMAND localedef -i de_DE -f UTF-8 locale/de_DE.UTF-8
    COMMAND_ERROR_IS_FATAL ANY)
  expect(0 "${report}" "${quiet}" "" env LOCPATH=locale LC_ALL=de_DE.UTF-8 ${program})
  if(NOT EMULATOR)
    expect(0 "${report}" "${quiet}" "" env -i ${program})
  endif()
elseif(CHECK STREQUAL "write-failure")
  # A report that cannot be written is an error, said in one line.
  expect(1 "" "^trapezoid: [^\n]+\n$" ">/dev/full" ${program})
  expect(1 "" "^trapezoid: [^\n]+\n$" ">&-" ${program})
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
  message(FATAL_ERROR "no check named '${CHECK}'")
endif()
