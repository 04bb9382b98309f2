# Builds for Linux on the Debian architecture that TRAPEZOID_SYSTEM names
# (linux-arm64), with Debian's GCC for its GNU triplet or LINUX_TRIPLET, or
# with the Clang that CMAKE_CXX_COMPILER names; natively on that processor,
# elsewhere as a cross-build tested under QEMU with the triplet's C library.
if(NOT LINUX_TRIPLET)
  string(REGEX REPLACE "^linux-" "" architecture "${TRAPEZOID_SYSTEM}")
  find_program(TRAPEZOID_DPKG_ARCHITECTURE dpkg-architecture)
  execute_process(COMMAND ${TRAPEZOID_DPKG_ARCHITECTURE} -a ${architecture} -qDEB_HOST_GNU_TYPE
    OUTPUT_VARIABLE LINUX_TRIPLET OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  list(APPEND trapezoid_inputs ${TRAPEZOID_DPKG_ARCHITECTURE})
endif()
if(NOT LINUX_TRIPLET)
  message(FATAL_ERROR "No GNU triplet for '${TRAPEZOID_SYSTEM}': set TRAPEZOID_SYSTEM "
    "to linux-<Debian architecture> with Debian's dpkg-dev installed, or set LINUX_TRIPLET.")
endif()
# Checks that CMake compiles in projects of their own need the triplet too.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES LINUX_TRIPLET)

string(REGEX REPLACE "-.*" "" processor ${LINUX_TRIPLET})
set(CMAKE_CXX_COMPILER_TARGET ${LINUX_TRIPLET})
if(NOT CMAKE_CXX_COMPILER)
  set(CMAKE_CXX_COMPILER ${LINUX_TRIPLET}-g++)
endif()
if(NOT processor STREQUAL CMAKE_HOST_SYSTEM_PROCESSOR)
  set(CMAKE_SYSTEM_NAME Linux)
  set(CMAKE_SYSTEM_PROCESSOR ${processor})
  # QEMU names two processors its own way.
  set(qemu ${processor})
  if(processor STREQUAL "i686")
    set(qemu i386)
  elseif(processor STREQUAL "powerpc64le")
    set(qemu ppc64le)
  endif()
  set(CMAKE_CROSSCOMPILING_EMULATOR qemu-${qemu} -L /usr/${LINUX_TRIPLET})
endif()
# The triplet's tools strip and read the program, as Clang's name has none.
foreach(tool IN ITEMS strip objdump readelf nm)
  string(TOUPPER ${tool} name)
  find_program(CMAKE_${name} ${LINUX_TRIPLET}-${tool})
endforeach()
