# Windows on ARM64 (AArch64).
set(MINGW_ARCH arm64)
set(MINGW_TRIPLET aarch64-w64-mingw32)
set(MINGW_PROCESSOR ARM64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-clang.cmake)
