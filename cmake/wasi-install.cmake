# What the WebAssembly build installs: a folder to unzip and open, with the
# module, trapezoid.html, the page that runs it in a browser with the module
# in it, and the notices for wasi-libc, the C library linked into it.
set(CMAKE_INSTALL_BINDIR .)
set(CMAKE_INSTALL_DOCDIR .)
install(TARGETS trapezoid)
# The page holds the module as installed (stripped, where it is), in base64.
find_program(TRAPEZOID_BASE64 base64 REQUIRED)
install(CODE "set(trapezoid_page ${PROJECT_SOURCE_DIR}/doc/trapezoid.html.in)
  set(trapezoid_base64 ${TRAPEZOID_BASE64})" CODE [[
  set(folder "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
  execute_process(COMMAND ${trapezoid_base64} -w 0 trapezoid.wasm WORKING_DIRECTORY ${folder}
    OUTPUT_VARIABLE module COMMAND_ERROR_IS_FATAL ANY)
  configure_file(${trapezoid_page} ${folder}/trapezoid.html @ONLY)
  list(APPEND CMAKE_INSTALL_MANIFEST_FILES ${folder}/trapezoid.html)]])

# wasi-libc is musl's C library and others', each under its own terms, which
# Debian's package lists in its copyright file.
find_file(TRAPEZOID_WASI_LIBC_COPYRIGHT copyright PATHS /usr/share/doc/wasi-libc
  NO_DEFAULT_PATH DOC "The copyright file of Debian's wasi-libc package")
if(NOT TRAPEZOID_WASI_LIBC_COPYRIGHT)
  message(FATAL_ERROR "The module has wasi-libc linked in, and ships with its "
    "terms: install Debian's wasi-libc package, or set "
    "TRAPEZOID_WASI_LIBC_COPYRIGHT to a copy of its copyright file.")
endif()
include(cmake/debian-c-library.cmake)
debian_c_library(c_library "wasi-libc")
file(CONFIGURE OUTPUT NOTICE CONTENT [[
The trapezoid.wasm module in this package, which trapezoid.html holds too,
has the C library linked into it:
@c_library@

wasi-libc holds the code of several projects, musl's C library among them,
each under its own terms. Those terms are in wasi-libc.copyright beside this
file, as Debian's package lists them.
]] @ONLY)
configure_file(${TRAPEZOID_WASI_LIBC_COPYRIGHT} wasi-libc.copyright COPYONLY)
set(trapezoid_c_library_notices ${PROJECT_BINARY_DIR}/NOTICE
  ${PROJECT_BINARY_DIR}/wasi-libc.copyright)

# The linker lists no inputs: the record names the ones that the compiler
# gives it.
set(trapezoid_inputs ${TRAPEZOID_WASI_LIBC_COPYRIGHT} ${TRAPEZOID_BASE64}
  ${trapezoid_c_library})
foreach(file IN ITEMS crt1-command.o libc++.a libc++abi.a)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} ${target} -print-file-name=${file}
    OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
  list(APPEND trapezoid_inputs ${path})
endforeach()
execute_process(COMMAND ${CMAKE_CXX_COMPILER} ${target} -print-libgcc-file-name
  OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
list(APPEND trapezoid_inputs ${path})
