# Cross-builds for Linux on 32-bit x86 with Debian's cross GCC, whose default
# is x87 arithmetic with extended intermediates; the tests run the program
# under QEMU.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_CXX_COMPILER i686-linux-gnu-g++)
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-i386 -L /usr/i686-linux-gnu)
