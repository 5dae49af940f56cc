# Static Linux amd64 against musl.
set(MUSL_ARCH amd64)
set(MUSL_TRIPLET x86_64-linux-musl)
set(GNU_TRIPLET x86_64-linux-gnu)
set(CROSS_PROCESSOR x86_64)
set(MUSL_FLAGS "")
include(${CMAKE_CURRENT_LIST_DIR}/linux-musl.cmake)
