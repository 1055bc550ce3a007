# Cross-build for 64-bit ARM Linux (Raspberry Pi OS and other Debian arm64 boards) with
# Debian's cross toolchain and the arm64 multiarch libraries; tests run under qemu-user.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(TOOLCHAIN_PREFIX aarch64-linux-gnu)
set(CMAKE_C_COMPILER ${TOOLCHAIN_PREFIX}-gcc)
set(CMAKE_CXX_COMPILER ${TOOLCHAIN_PREFIX}-g++)
set(CMAKE_LIBRARY_ARCHITECTURE ${TOOLCHAIN_PREFIX})
# Multiarch puts the arm64 libraries in /usr/lib/aarch64-linux-gnu, beside the host's.
set(CMAKE_FIND_ROOT_PATH /usr/${TOOLCHAIN_PREFIX} /)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/${TOOLCHAIN_PREFIX}/pkgconfig:/usr/share/pkgconfig)
# The programs run with the loader of the multiarch C library: its libc.so.6 is the one
# they load (through ld.so.cache), and a loader from another glibc build (the cross
# toolchain's in /usr/${TOOLCHAIN_PREFIX}) hangs in the first thread start.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64 -L /)
