# Windows on 32-bit ARM (Thumb-2, ARMNT).
set(MINGW_ARCH arm32)
set(MINGW_TRIPLET armv7-w64-mingw32)
set(MINGW_PROCESSOR arm)
# One 16-bit instruction per IT block, the only form the Windows ARM ABI allows.
set(MINGW_FLAGS -mrestrict-it)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-clang.cmake)
