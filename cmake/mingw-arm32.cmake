# Windows on 32-bit ARM (Thumb-2, ARMNT).
set(MINGW_ARCH arm32)
set(MINGW_TRIPLET armv7-w64-mingw32)
set(MINGW_PROCESSOR arm)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-clang.cmake)
