# WASI, for CMake releases that have no platform file of their own for it:
# a module is a program like any other, which cmake/wasi.cmake names .wasm.
