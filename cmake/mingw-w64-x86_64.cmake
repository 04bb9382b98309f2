# Cross-builds the Windows x86-64 console program with MinGW-w64; its tests
# run it under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++)
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
