# Links the C library into the Linux program, so that it needs nothing but the
# kernel, position-independent where the C library can start it so (static
# PIE); the package names the C library and carries its licence, the LGPL.
set(CMAKE_REQUIRED_FLAGS -fPIE)
check_linker_flag(CXX -static-pie TRAPEZOID_HAS_STATIC_PIE)
unset(CMAKE_REQUIRED_FLAGS)
# CMake's own -pie or -no-pie would undo the static link.
get_target_property(pie trapezoid POSITION_INDEPENDENT_CODE)
set_property(TARGET trapezoid PROPERTY POSITION_INDEPENDENT_CODE)
if(TRAPEZOID_HAS_STATIC_PIE AND pie)
  target_compile_options(trapezoid PRIVATE -fPIE)
  target_link_options(trapezoid PRIVATE -static-pie)
else()
  target_link_options(trapezoid PRIVATE -static)
endif()

include(cmake/debian-c-library.cmake)
debian_c_library(c_library "the GNU C Library")

find_file(TRAPEZOID_LGPL LGPL-2.1 PATHS /usr/share/common-licenses NO_DEFAULT_PATH
  DOC "The text of the GNU Lesser General Public License, version 2.1")
if(NOT TRAPEZOID_LGPL)
  message(FATAL_ERROR "A program with the C library in it ships with the text "
    "of its licence: set TRAPEZOID_LGPL to a copy of the LGPL 2.1, or "
    "configure with -DTRAPEZOID_STATIC=OFF.")
endif()
configure_file(doc/notice-glibc.in NOTICE @ONLY)
set(trapezoid_c_library_notices ${PROJECT_BINARY_DIR}/NOTICE ${TRAPEZOID_LGPL})
