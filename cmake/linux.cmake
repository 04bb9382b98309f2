# Builds for Linux on the processor of the GNU triplet LINUX_TRIPLET
# (aarch64-linux-gnu, say) with Debian's GCC for that triplet, or with Clang
# when CMAKE_CXX_COMPILER names it. On a machine of that processor the build
# is native; elsewhere it is a cross-build, whose tests run the program under
# QEMU with the triplet's C library in /usr/<triplet>.
if(NOT LINUX_TRIPLET)
  message(FATAL_ERROR "Set LINUX_TRIPLET to the GNU triplet to build for.")
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
# Clang's name holds no triplet, so the build would strip the program, and
# the checks read it, with the host's tools.
foreach(tool IN ITEMS strip objdump readelf nm)
  string(TOUPPER ${tool} name)
  find_program(CMAKE_${name} ${LINUX_TRIPLET}-${tool})
endforeach()
