# Static Linux on 32-bit ARM, hard float, against musl: the instruction set
# and floating point of Debian's armhf, which clang does not assume for this
# triplet.
set(MUSL_ARCH armhf)
set(MUSL_TRIPLET arm-linux-musleabihf)
set(GNU_TRIPLET arm-linux-gnueabihf)
set(CROSS_PROCESSOR arm)
set(MUSL_FLAGS "-march=armv7-a -mfpu=vfpv3-d16 -mfloat-abi=hard -mthumb")
include(${CMAKE_CURRENT_LIST_DIR}/linux-musl.cmake)
