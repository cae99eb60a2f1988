# Cross-builds for 32-bit ARM Linux (ARMv7 with hardware floating point, as on a Raspberry
# Pi with a 32-bit system) with Debian's g++-arm-linux-gnueabihf. ctest runs what it builds
# under qemu-arm (Debian's qemu-user), which finds the target's C and C++ libraries where
# Debian's cross packages put them.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR arm)
set(target_triple arm-linux-gnueabihf)
set(CMAKE_C_COMPILER ${target_triple}-gcc)
set(CMAKE_CXX_COMPILER ${target_triple}-g++)
set(CMAKE_FIND_ROOT_PATH /usr/${target_triple})
# Programs the tests start on the build machine (primesieve, strace) are its own; libraries
# and headers are the target's.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-arm -L /usr/${target_triple})
