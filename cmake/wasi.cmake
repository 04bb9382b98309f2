# Builds a WebAssembly module for WASI with Clang and Debian's wasi-libc,
# read with LLVM's tools; its tests run it under Node's WASI.
set(CMAKE_SYSTEM_NAME WASI)
set(CMAKE_SYSTEM_PROCESSOR wasm32)
# CMake 3.25 knows no WASI, and would say so without a platform file.
if(NOT EXISTS ${CMAKE_ROOT}/Modules/Platform/WASI.cmake)
  list(APPEND CMAKE_MODULE_PATH ${CMAKE_CURRENT_LIST_DIR})
endif()
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_CXX_COMPILER_TARGET wasm32-wasi)
set(CMAKE_EXECUTABLE_SUFFIX_CXX .wasm)
# Given -O, Clang's link runs Binaryen's wasm-opt wherever one is installed,
# and the bytes would depend on that: the link takes no compile flags.
set(CMAKE_CXX_LINK_EXECUTABLE "<CMAKE_CXX_COMPILER> <CMAKE_CXX_LINK_FLAGS> <LINK_FLAGS> <OBJECTS> -o <TARGET> <LINK_LIBRARIES>")
foreach(tool IN ITEMS strip nm objdump)
  string(TOUPPER ${tool} name)
  find_program(CMAKE_${name} llvm-${tool})
  if(NOT CMAKE_${name})
    message(FATAL_ERROR "The module is stripped and read with LLVM's tools, "
      "llvm-${tool} among them: install Debian's llvm package.")
  endif()
endforeach()
set(CMAKE_CROSSCOMPILING_EMULATOR node --no-warnings ${CMAKE_CURRENT_LIST_DIR}/../tests/run-wasi.mjs)
