# Static Linux on 64-bit ARM against musl.
set(MUSL_ARCH arm64)
set(MUSL_TRIPLET aarch64-linux-musl)
set(GNU_TRIPLET aarch64-linux-gnu)
set(CROSS_PROCESSOR aarch64)
set(MUSL_FLAGS "")
include(${CMAKE_CURRENT_LIST_DIR}/linux-musl.cmake)
