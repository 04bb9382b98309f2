# Runs the program in the ways named by CHECK and fails on any difference from
# what a user must see. SETTINGS names the file of what the checks need to
# know about this build.
cmake_minimum_required(VERSION 3.25)
include(${SETTINGS})
set(linked_program ${program})

# The expected report; Windows ends its lines with CR LF.
file(READ ${expected_report} report)
if(crlf_line_ends)
  string(REPLACE "\n" "\r\n" report "${report}")
endif()
# The program says nothing on standard error, and neither does its emulator,
# set up to keep quiet.
set(quiet "^$")

# Sets var to the bytes given in hex as quoted text, control bytes escaped.
function(readable var hex)
  string(REGEX MATCHALL ".." bytes "${hex}")
  set(text "")
  foreach(byte IN LISTS bytes)
    math(EXPR code "0x${byte}")
    if(code GREATER_EQUAL 32 AND code LESS 127)
      string(ASCII ${code} char)
    elseif(byte STREQUAL "0a")
      set(char "\\n")
    elseif(byte STREQUAL "0d")
      set(char "\\r")
    else()
      set(char "\\x${byte}")
    endif()
    string(APPEND text "${char}")
  endforeach()
  set(${var} "\"${text}\"" PARENT_SCOPE)
endfunction()

# Runs the command with a shell redirection and checks its exit status, its
# standard output, byte for byte, and its standard error against a pattern.
# The output goes through a file of this check's own: execute_process drops
# the CR of a CR LF it captures, and checks run in parallel.
function(expect status stdout stderr redirect)
  execute_process(COMMAND sh -c "exec \"$@\" ${redirect}" sh ${ARGN}
    RESULT_VARIABLE got OUTPUT_FILE ${CHECK}.stdout ERROR_VARIABLE err TIMEOUT 60)
  file(READ ${CHECK}.stdout out HEX)
  string(HEX "${stdout}" stdout)
  set(wrong "")
  if(NOT got STREQUAL status)
    string(APPEND wrong "\n  exit status ${got}, expected ${status}")
  endif()
  if(NOT out STREQUAL stdout)
    readable(out "${out}")
    readable(stdout "${stdout}")
    string(APPEND wrong "\n  standard output ${out}\n         expected ${stdout}")
  endif()
  if(NOT err MATCHES "${stderr}")
    string(HEX "${err}" err)
    string(HEX "${stderr}" stderr)
    readable(err "${err}")
    readable(stderr "${stderr}")
    string(APPEND wrong "\n  standard error ${err}, expected to match ${stderr}")
  endif()
  if(NOT wrong STREQUAL "")
    string(JOIN " " command ${ARGN} ${redirect})
    message(FATAL_ERROR "${command}${wrong}")
  endif()
endfunction()

# Fails with the program's name and what is wrong with it, if anything.
function(fail_if wrong)
  if(NOT wrong STREQUAL "")
    message(FATAL_ERROR "${program}${wrong}")
  endif()
endfunction()

# MIPS calls a function through its slot in the global offset table, which
# the disassembly leaves unnamed: names each load of a slot in the code in
# var after the symbol whose address the slot holds.
function(name_got_calls var)
  string(REGEX MATCHALL "\tl[wd]\t[a-z0-9]+,-?[0-9]+[(]gp[)]" loads "${${var}}")
  if(NOT loads)
    return()
  endif()
  execute_process(COMMAND ${nm} ${linked_program} OUTPUT_VARIABLE symbols)
  execute_process(COMMAND ${objdump} -s -j .got ${linked_program} OUTPUT_VARIABLE got)
  string(REGEX MATCH "([0-9a-f]+) . _gp\n" found "${symbols}")
  math(EXPR gp "0x${CMAKE_MATCH_1}")
  string(REGEX MATCH "\n ([0-9a-f]+) " found "${got}")
  math(EXPR start "0x${CMAKE_MATCH_1}")
  string(REGEX MATCHALL "\n [0-9a-f]+( [0-9a-f]+)+" rows "${got}")
  list(TRANSFORM rows REPLACE "^\n [0-9a-f]+| " "")
  string(JOIN "" table ${rows})
  list(REMOVE_DUPLICATES loads)
  math(EXPR digits "${pointer_size} * 2")
  foreach(load IN LISTS loads)
    string(REGEX MATCH ",(-?[0-9]+)" found "${load}")
    math(EXPR at "(${gp} + ${CMAKE_MATCH_1} - ${start}) * 2")
    string(SUBSTRING "${table}" ${at} ${digits} address)
    if(little_endian)
      string(REGEX MATCHALL ".." bytes "${address}")
      list(REVERSE bytes)
      string(JOIN "" address ${bytes})
    endif()
    string(REGEX REPLACE "^0+" "" address "${address}")
    if(symbols MATCHES "(^|\n)0*${address} [A-Za-z] ([^\n]+)")
      string(REPLACE "${load}" "${load} <${CMAKE_MATCH_2}>" ${var} "${${var}}")
    endif()
  endforeach()
  set(${var} "${${var}}" PARENT_SCOPE)
endfunction()

# Opens a page from disk in headless Chromium, with no name resolved, so no
# network, and fails unless it shows the standard output given, byte for
# byte, a status that matches the pattern, and the standard error given.
function(expect_page page stdout status_pattern stderr)
  execute_process(COMMAND ${chromium} --headless --no-sandbox --disable-gpu --no-first-run
    --disable-background-networking --disable-component-update --disable-sync
    "--host-resolver-rules=MAP * ~NOTFOUND" --user-data-dir=${CMAKE_CURRENT_BINARY_DIR}/chromium
    --virtual-time-budget=10000 --dump-dom file://${page} OUTPUT_VARIABLE dom ERROR_QUIET TIMEOUT 120)
  string(REGEX MATCH "<pre id=\"stdout\">(.*)</pre>\n<p id=\"status\">([^<]*)</p>\n<pre id=\"stderr\">([^<]*)</pre>"
    found "${dom}")
  set(status "${CMAKE_MATCH_2}")
  set(said "${CMAKE_MATCH_3}")
  string(REGEX REPLACE "<[^>]*>" "" shown "${CMAKE_MATCH_1}")
  string(REPLACE "&lt;" "<" shown "${shown}")
  string(REPLACE "&gt;" ">" shown "${shown}")
  string(REPLACE "&amp;" "&" shown "${shown}")
  if(NOT shown STREQUAL stdout OR NOT status MATCHES "${status_pattern}" OR NOT said STREQUAL stderr)
    message(FATAL_ERROR "${page} shows\n${shown}\n${status}\n${said}\nnot\n${stdout}\n"
      "${status_pattern}\n${stderr}")
  endif()
endfunction()

function(check name)
  set(run ${emulator} ${program})
  if(name STREQUAL "report")
    expect(0 "${report}" "${quiet}" "" ${run})
  elseif(name STREQUAL "ignores-input")
    expect(0 "${report}" "${quiet}" "" ${run} --help -n 128 "two words")
    expect(0 "${report}" "${quiet}" "</dev/zero" ${run})
    expect(0 "${report}" "${quiet}" "<&-" ${run})
    # An emulator keeps the variables it needs to start.
    expect(0 "${report}" "${quiet}" "" env -i ${emulator_environment} ${run})
  elseif(name STREQUAL "locale")
    # A locale whose decimal point is a comma, in force where the program runs.
    expect(0 "0,5" "${quiet}" "" env ${comma_locale_environment} ${emulator}
      ${decimal_point_program})
    expect(0 "${report}" "${quiet}" "" env ${comma_locale_environment} ${run})
  elseif(name STREQUAL "write-failure")
    # A report that cannot be written is an error, said in one line.
    expect(1 "" "^trapezoid: [^\n]+\n$" ">&-" ${run})
  elseif(name STREQUAL "full-disk")
    expect(1 "" "^trapezoid: [^\n]+\n$" ">/dev/full" ${run})
  elseif(name STREQUAL "libraries")
    execute_process(COMMAND ${objdump} -p ${program} OUTPUT_VARIABLE dump
      COMMAND_ERROR_IS_FATAL ANY)
    string(REGEX MATCHALL "(NEEDED|DLL Name:) +[^\n]+" found "${dump}")
    list(TRANSFORM found REPLACE "^[^ ]+( Name:)? +" "")
    list(FILTER found EXCLUDE REGEX "${allowed_libraries_pattern}")
    if(found)
      fail_if(" loads ${found} beside the C library")
    endif()
  elseif(name STREQUAL "package")
    # Made in a folder of this check's own, as cpack makes it for a user.
    file(REMOVE_RECURSE package)
    execute_process(COMMAND ${cpack} -C ${configuration} --config ${cpack_config} -B package
      RESULT_VARIABLE failed OUTPUT_VARIABLE said ERROR_VARIABLE said)
    # A Linux program that loads the C library makes no package, and says why.
    file(GLOB package package/*.tar.gz package/*.zip)
    string(REGEX REPLACE "[ \n]+" " " said "${said}")
    if(loads_c_library)
      if(NOT failed OR package OR NOT said MATCHES "a Linux package carries the C library")
        message(FATAL_ERROR "cpack of a program that loads the C library exits "
          "'${failed}', makes '${package}' and says:\n${said}")
      endif()
      return()
    elseif(failed)
      message(FATAL_ERROR "cpack failed:\n${said}")
    endif()
    file(STRINGS ${package}.sha256 sum)
    file(SHA256 ${package} actual)
    file(SIZE ${package} size)
    get_filename_component(top ${package} NAME)
    if(NOT sum STREQUAL "${actual}  ${top}")
      message(FATAL_ERROR "${package}.sha256 says '${sum}', not ${actual}")
    endif()
    foreach(field IN ITEMS Checksums-Sha256 Installed-Build-Depends)
      execute_process(COMMAND bash ${package_tool} read ${package}.buildinfo ${field}
        OUTPUT_VARIABLE ${field} COMMAND_ERROR_IS_FATAL ANY)
    endforeach()
    if(NOT Checksums-Sha256 STREQUAL "${actual} ${size} ${top}\n")
      message(FATAL_ERROR "${package}.buildinfo does not give its SHA-256 and size, ${actual} ${size}")
    endif()
    # The record names the Debian package of every file from the system that
    # the build read, the headers and libraries among them.
    if(Installed-Build-Depends MATCHES " [(]= ")
      execute_process(COMMAND bash ${package_tool} inputs ${package_settings}
        OUTPUT_VARIABLE inputs COMMAND_ERROR_IS_FATAL ANY)
      string(REPLACE "\n" ";" inputs "${inputs}")
      execute_process(COMMAND dpkg-query -S ${inputs} OUTPUT_VARIABLE found ERROR_QUIET)
      string(REGEX MATCHALL "(^|\n)[^ /]+(, [^ /]+)*: /" owners "${found}")
      string(REGEX REPLACE "\n|: /" "" owners "${owners}")
      string(REPLACE ", " ";" owners "${owners}")
      list(REMOVE_DUPLICATES owners)
      foreach(owner IN LISTS owners)
        string(FIND "\n${Installed-Build-Depends}" "\n${owner} (= " at)
        if(at EQUAL -1)
          message(FATAL_ERROR "${package}.buildinfo does not name ${owner}, whose "
            "files the build read")
        endif()
      endforeach()
    endif()
    # Made with a gzip and a zip that fail, or a date that is no date, it
    # fails saying why, and leaves nothing that looks made.
    find_program(false false REQUIRED)
    file(REMOVE_RECURSE broken)
    file(MAKE_DIRECTORY broken)
    file(CREATE_LINK ${false} broken/gzip SYMBOLIC)
    file(CREATE_LINK ${false} broken/zip SYMBOLIC)
    foreach(case IN ITEMS "PATH=${CMAKE_CURRENT_BINARY_DIR}/broken:$ENV{PATH}"
        SOURCE_DATE_EPOCH=yesterday)
      file(REMOVE_RECURSE failed)
      execute_process(COMMAND ${CMAKE_COMMAND} -E env ${case}
        ${cpack} -C ${configuration} --config ${cpack_config} -B failed
        RESULT_VARIABLE failed OUTPUT_VARIABLE said ERROR_VARIABLE said)
      file(GLOB_RECURSE left failed/trapezoid-*)
      string(REGEX REPLACE "[ \n]+" " " said "${said}")
      if(NOT failed OR left OR NOT said MATCHES "g?zip failed with exit status 1|'yesterday', which is invalid")
        message(FATAL_ERROR "cpack with ${case} exits '${failed}', leaves '${left}' and says:\n${said}")
      endif()
    endforeach()
    file(MAKE_DIRECTORY package/unpacked)
    file(ARCHIVE_EXTRACT INPUT ${package} DESTINATION package/unpacked)
    string(REGEX REPLACE "[.](tar[.]gz|zip)$" "" top ${top})
    file(GLOB_RECURSE held RELATIVE ${CMAKE_CURRENT_BINARY_DIR}/package/unpacked/${top}
      package/unpacked/*)
    list(TRANSFORM package_files REPLACE "^[.]/" "")
    list(SORT held)
    list(SORT package_files)
    if(NOT held STREQUAL package_files)
      message(FATAL_ERROR "${package} holds ${held}, not ${package_files}")
    endif()
    # Its program, stripped, passes the checks above and is hardened as built.
    list(FILTER held INCLUDE REGEX "trapezoid([.](exe|wasm))?$")
    set(program ${CMAKE_CURRENT_BINARY_DIR}/package/unpacked/${top}/${held})
    if(program MATCHES "[.]wasm$")
      # A module keeps the names of its exports; stripped, it has no section
      # of names or debugging information.
      execute_process(COMMAND ${objdump} -h ${program} OUTPUT_VARIABLE sections)
      string(REGEX MATCH "\n +[0-9]+ (name|[.]debug)" unstripped "${sections}")
      set(checks report)
    else()
      execute_process(COMMAND ${nm} ${program} ERROR_VARIABLE symbols)
      set(unstripped "")
      if(NOT symbols MATCHES "no symbols")
        set(unstripped "symbols")
      endif()
      set(checks report write-failure libraries hardening)
    endif()
    if(unstripped)
      message(FATAL_ERROR "${program} is not stripped")
    endif()
    if(full_device)
      list(APPEND checks full-disk)
    endif()
    foreach(name IN LISTS checks)
      check(${name})
    endforeach()
  elseif(name STREQUAL "hardening")
    # What each protection looks like in the program: in its headers (an ELF
    # program's file and program headers and dynamic section, a Windows
    # program's PE header), or in the code of its own main. The code is read
    # from the linked program, whose symbols name what main calls; a static
    # program's C library makes such calls of its own.
    set(shows_relro headers "GNU_RELRO")
    # A static program binds everything at its link.
    set(shows_bind_now headers "no dynamic section|BIND_NOW")
    set(shows_noexec_stack headers "GNU_STACK[^\n]* RW ")
    set(shows_pie headers "Type: +DYN")
    set(shows_canary code "[<.]__stack_chk_fail")
    set(shows_endbr code "endbr(32|64)")
    set(shows_pac code "paciasp|hint\t#25")
    # ___printf_chk in a static C library; on POWER past its entry, at +0x8.
    set(shows_fortify code "[<.]_?__printf_chk[@+>]")
    set(shows_dynamic_base headers "DYNAMIC_BASE")
    set(shows_high_entropy_va headers "HIGH_ENTROPY_VA")
    set(shows_nx_compat headers "NX_COMPAT")
    set(shows_tsaware headers "TERMINAL_SERVICE_AWARE")
    if(program MATCHES "[.]exe$")
      execute_process(COMMAND ${objdump} -p ${program} OUTPUT_VARIABLE headers)
    else()
      execute_process(COMMAND ${readelf} -hlndW ${program} OUTPUT_VARIABLE headers)
    endif()
    # GNU objdump names the function to show one way, LLVM's another.
    foreach(option IN ITEMS --disassemble=main --disassemble-symbols=main)
      execute_process(COMMAND ${objdump} -d ${option} ${linked_program}
        OUTPUT_VARIABLE code RESULT_VARIABLE failed ERROR_QUIET)
      if(NOT failed)
        break()
      endif()
    endforeach()
    name_got_calls(code)
    # A protection of some configurations only leaves an empty entry in the
    # others.
    list(REMOVE_ITEM expected_hardening "")
    set(wrong "")
    foreach(protection IN LISTS expected_hardening)
      list(POP_FRONT shows_${protection} place pattern)
      if(NOT "${${place}}" MATCHES "${pattern}")
        string(APPEND wrong "\n  has no ${protection}: nothing in its ${place} matches '${pattern}'")
      endif()
    endforeach()
    fail_if("${wrong}")
  elseif(name STREQUAL "page")
    # Installed as a user installs it, the page shows the report, byte for
    # byte, nothing on standard error, and exit status 0; it is at most 64 KB,
    # its module in it.
    file(REMOVE_RECURSE page)
    execute_process(COMMAND ${CMAKE_COMMAND} --install ${binary_dir} --config ${configuration}
      --prefix page --strip OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
    set(page ${CMAKE_CURRENT_BINARY_DIR}/page/trapezoid.html)
    file(SIZE ${page} size)
    if(size GREATER 65536)
      message(FATAL_ERROR "${page} has ${size} bytes, more than 64 KB")
    endif()
    expect_page(${page} "${report}" "^exit status 0$" "")
    # A module that writes on both streams and then crashes: the page shows
    # all that it wrote, and that it stopped.
    execute_process(COMMAND ${base64} -w 0 ${trapping_program} OUTPUT_VARIABLE module
      COMMAND_ERROR_IS_FATAL ANY)
    configure_file(${page_template} page/trapping.html @ONLY)
    expect_page(${CMAKE_CURRENT_BINARY_DIR}/page/trapping.html "out\n" "^The program stopped: " "err\n")
  elseif(name STREQUAL "figures")
    # README's pictures, drawn again, hold the data that they held when drawn
    # for the source; drawn by the same gnuplot, they are the same bytes.
    file(REMOVE_RECURSE figures)
    execute_process(COMMAND sh ${figures_script} ${CMAKE_CURRENT_BINARY_DIR}/figures
      COMMAND_ERROR_IS_FATAL ANY)
    foreach(picture trapezoids.svg error.svg)
      file(READ ${committed_figures}/${picture} committed)
      file(READ figures/${picture} drawn)
      string(REGEX MATCH "Produced by GNUPLOT [^<]*" committed_by "${committed}")
      string(REGEX MATCH "Produced by GNUPLOT [^<]*" drawn_by "${drawn}")
      if(NOT drawn_by STREQUAL committed_by)
        string(REGEX MATCH "<!-- The data drawn.*-->" committed "${committed}")
        string(REGEX MATCH "<!-- The data drawn.*-->" drawn "${drawn}")
      endif()
      if(NOT drawn STREQUAL committed OR committed STREQUAL "")
        message(FATAL_ERROR "${committed_figures}/${picture} is not what "
          "${figures_script} draws now: draw it again with the figures target")
      endif()
    endforeach()
    # Two rows of the error's data, as computed apart from the script, with
    # 100-digit arithmetic: the sizes 1 and 64, the program's.
    foreach(row IN ITEMS "1 8.19767068693264545e-02 8.197671e-02 3.006711e-17"
        "64 2.03449692996092934e-05 2.034497e-05 2.360358e-17")
      string(FIND "${committed}" "\n${row}\n" at)
      if(at EQUAL -1)
        message(FATAL_ERROR "${committed_figures}/error.svg lacks the row '${row}'")
      endif()
    endforeach()
  else()
    message(FATAL_ERROR "no check named '${name}'")
  endif()
endfunction()

check(${CHECK})
