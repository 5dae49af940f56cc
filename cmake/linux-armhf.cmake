# Linux on 32-bit ARM, hard float (Debian's armhf).
set(CROSS_TRIPLET arm-linux-gnueabihf)
set(CROSS_PROCESSOR arm)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
