# Links the C library into the Linux program, so that a downloaded program
# needs nothing from the system but the kernel, whichever distribution and
# release it runs on. It stays position-independent where the C library has a
# start file for that (static PIE). Such a program carries the GNU C Library,
# so the package says which, by Debian package and version, beside the text of
# its licence, the LGPL 2.1.
include(CheckLinkerFlag)
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
file(CONFIGURE OUTPUT NOTICE CONTENT [[
The trapezoid program in this package has the C library linked into it:
@c_library@

The GNU C Library is free software under the GNU Lesser General Public
License, version 2.1 or later, whose text is in LGPL-2.1 beside this file.
Its source is Debian's source package named above, at the version named.
To relink the program with another C library, build it again from the
trapezoid source of this release, as "Verifying a download" in BUILDING.md
says: the build is reproducible, so with the same C library it gives the
same program, and with another it is the same program relinked.
]] @ONLY)
# The package carries the notices for the C library in its program.
set(trapezoid_c_library_notices ${PROJECT_BINARY_DIR}/NOTICE ${TRAPEZOID_LGPL})
