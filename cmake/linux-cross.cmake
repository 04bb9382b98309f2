# Cross-builds for Linux on another processor with Debian's cross GCC for the
# GNU triplet CROSS_TRIPLET (aarch64-linux-gnu, say), or with Clang when
# CMAKE_CXX_COMPILER names it. The tests run the program under QEMU with the
# cross C library in /usr/<triplet>.
if(NOT CROSS_TRIPLET)
  message(FATAL_ERROR "Set CROSS_TRIPLET to the GNU triplet to build for.")
endif()
# Checks that CMake compiles in projects of their own need the triplet too.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES CROSS_TRIPLET)

string(REGEX REPLACE "-.*" "" processor ${CROSS_TRIPLET})
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR ${processor})
set(CMAKE_CXX_COMPILER_TARGET ${CROSS_TRIPLET})
if(NOT CMAKE_CXX_COMPILER)
  set(CMAKE_CXX_COMPILER ${CROSS_TRIPLET}-g++)
endif()

# QEMU names two processors its own way.
set(qemu ${processor})
if(processor STREQUAL "i686")
  set(qemu i386)
elseif(processor STREQUAL "powerpc64le")
  set(qemu ppc64le)
endif()
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-${qemu} -L /usr/${CROSS_TRIPLET})
# Clang's name holds no triplet, so the build would strip the program, and
# the checks read it, with the host's tools.
foreach(tool IN ITEMS strip objdump readelf nm)
  string(TOUPPER ${tool} name)
  find_program(CMAKE_${name} ${CROSS_TRIPLET}-${tool})
endforeach()
