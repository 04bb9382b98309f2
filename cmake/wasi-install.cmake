# The WebAssembly build installs a folder to unzip and open: the module, the
# page that holds it and runs it in a browser, and wasi-libc's notices.
set(CMAKE_INSTALL_BINDIR .)
set(CMAKE_INSTALL_DOCDIR .)
install(TARGETS trapezoid)
# The page holds the module as installed (stripped, where it is), in base64,
# and lets its own script and style run, and nothing else, by their SHA-256.
find_program(TRAPEZOID_BASE64 base64 REQUIRED)
find_program(TRAPEZOID_BASENC basenc REQUIRED)
set(page ${PROJECT_SOURCE_DIR}/doc/trapezoid.html.in)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${page} README.md ${trapezoid_pictures})
file(READ ${page} text)
# Below the output, README's lesson, what it prints and why, rendered by cmark
# with its pictures in it as data, where the page's policy lets them load.
find_program(TRAPEZOID_CMARK cmark)
if(NOT TRAPEZOID_CMARK)
  message(FATAL_ERROR "The page shows README's lesson, rendered by cmark: install Debian's cmark package.")
endif()
file(READ README.md readme)
string(REGEX REPLACE ".*\n(## What it prints\n.*)\n## Building, packaging.*" "\\1" lesson "${readme}")
file(WRITE ${PROJECT_BINARY_DIR}/lesson.md "${lesson}")
execute_process(COMMAND ${TRAPEZOID_CMARK} lesson.md WORKING_DIRECTORY ${PROJECT_BINARY_DIR}
  OUTPUT_VARIABLE lesson COMMAND_ERROR_IS_FATAL ANY)
foreach(picture IN LISTS trapezoid_pictures)
  file(READ ${picture} svg)
  foreach(character IN ITEMS % "#" "\"" & "\n" "\t")
    string(HEX "${character}" hex)
    string(REPLACE "${character}" "%${hex}" svg "${svg}")
  endforeach()
  string(REPLACE "src=\"${picture}\"" "src=\"data:image/svg+xml,${svg}\"" lesson "${lesson}")
endforeach()
# Formulas and code scroll in their own boxes, which the keyboard reaches; the
# pictures load as they come into view, not before the program's report shows.
string(REPLACE "<pre>" "<pre tabindex=\"0\">" lesson "${lesson}")
string(REPLACE "<img src=" "<img loading=\"lazy\" decoding=\"async\" src=" lesson "${lesson}")
string(REPLACE "@lesson@" "${lesson}" text "${text}")
file(WRITE ${PROJECT_BINARY_DIR}/trapezoid.html.in "${text}")
foreach(element IN ITEMS script style)
  string(REGEX MATCH "<${element}>(.*)</${element}>" found "${text}")
  string(SHA256 sum "${CMAKE_MATCH_1}")
  string(TOUPPER ${sum} sum)
  execute_process(COMMAND ${CMAKE_COMMAND} -E echo_append ${sum} COMMAND ${TRAPEZOID_BASENC} --base16 -d
    COMMAND ${TRAPEZOID_BASE64} OUTPUT_VARIABLE ${element} OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
endforeach()
install(CODE "set(trapezoid_page ${PROJECT_BINARY_DIR}/trapezoid.html.in)\nset(trapezoid_base64 ${TRAPEZOID_BASE64})
  set(script_hash sha256-${script})\nset(style_hash sha256-${style})" CODE [[
  set(folder "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
  execute_process(COMMAND ${trapezoid_base64} -w 0 trapezoid.wasm WORKING_DIRECTORY ${folder}
    OUTPUT_VARIABLE module COMMAND_ERROR_IS_FATAL ANY)
  configure_file(${trapezoid_page} ${folder}/trapezoid.html @ONLY)
  list(APPEND CMAKE_INSTALL_MANIFEST_FILES ${folder}/trapezoid.html)]])

# wasi-libc holds several projects' code, each under terms that Debian lists.
find_file(TRAPEZOID_WASI_LIBC_COPYRIGHT copyright PATHS /usr/share/doc/wasi-libc
  NO_DEFAULT_PATH DOC "The copyright file of Debian's wasi-libc package")
if(NOT TRAPEZOID_WASI_LIBC_COPYRIGHT)
  message(FATAL_ERROR "The module has wasi-libc linked in, and ships with its "
    "terms: install Debian's wasi-libc package, or set "
    "TRAPEZOID_WASI_LIBC_COPYRIGHT to a copy of its copyright file.")
endif()
include(cmake/debian-c-library.cmake)
debian_c_library(c_library "wasi-libc")
configure_file(doc/notice-wasi-libc.in NOTICE @ONLY)
configure_file(${TRAPEZOID_WASI_LIBC_COPYRIGHT} wasi-libc.copyright COPYONLY)
set(trapezoid_c_library_notices ${PROJECT_BINARY_DIR}/NOTICE
  ${PROJECT_BINARY_DIR}/wasi-libc.copyright)

# The linker lists no inputs: the record names those that the compiler gives.
set(trapezoid_inputs ${TRAPEZOID_WASI_LIBC_COPYRIGHT} ${TRAPEZOID_BASE64} ${TRAPEZOID_BASENC} ${TRAPEZOID_CMARK}
  ${trapezoid_c_library})
foreach(file IN ITEMS crt1-command.o libc++.a libc++abi.a)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} ${target} -print-file-name=${file}
    OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
  list(APPEND trapezoid_inputs ${path})
endforeach()
execute_process(COMMAND ${CMAKE_CXX_COMPILER} ${target} -print-libgcc-file-name
  OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
list(APPEND trapezoid_inputs ${path})
