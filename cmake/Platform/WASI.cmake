# The WebAssembly System Interface: a program is a module named .wasm.
set(CMAKE_EXECUTABLE_SUFFIX .wasm)
