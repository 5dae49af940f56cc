# Windows on 32-bit ARM (Thumb-2, ARMNT) with clang 14 and lld. Debian packages
# no C runtime for it: scripts/arm32-sysroot builds mingw-w64's and compiler-rt's
# builtins from Debian's sources and links the result as build/arm32-sysroot.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR arm)
set(CPUTEMP_ARM32_SYSROOT ${CMAKE_CURRENT_LIST_DIR}/../build/arm32-sysroot
    CACHE PATH "What scripts/arm32-sysroot built")
if(NOT EXISTS ${CPUTEMP_ARM32_SYSROOT}/armv7-w64-mingw32/lib/libmsvcrt.a)
  message(FATAL_ERROR "No ARM32 sysroot in ${CPUTEMP_ARM32_SYSROOT}: run scripts/arm32-sysroot")
endif()

set(triplet armv7-w64-mingw32)
set(CMAKE_C_COMPILER clang-14)
set(CMAKE_CXX_COMPILER clang++-14)
set(CMAKE_C_COMPILER_TARGET ${triplet})
set(CMAKE_CXX_COMPILER_TARGET ${triplet})
set(CMAKE_SYSROOT ${CPUTEMP_ARM32_SYSROOT})
# The builtins live in a resource directory of their own, beside clang's headers.
set(CMAKE_C_FLAGS_INIT "-resource-dir ${CPUTEMP_ARM32_SYSROOT}/resource")
set(CMAKE_CXX_FLAGS_INIT "-resource-dir ${CPUTEMP_ARM32_SYSROOT}/resource")
# No C++ runtime exists for this target, and the tool needs none.
set(link "-fuse-ld=lld -rtlib=compiler-rt --unwindlib=none -nostdlib++")
set(CMAKE_EXE_LINKER_FLAGS_INIT ${link})
set(CMAKE_SHARED_LINKER_FLAGS_INIT ${link})
set(CMAKE_MODULE_LINKER_FLAGS_INIT ${link})
set(CMAKE_RC_COMPILER /usr/lib/llvm-14/bin/llvm-windres)
set(CMAKE_RC_FLAGS_INIT "--target=${triplet}")
set(CMAKE_AR /usr/bin/llvm-ar-14)
set(CMAKE_RANLIB /usr/bin/llvm-ranlib-14)
set(CMAKE_FIND_ROOT_PATH ${CPUTEMP_ARM32_SYSROOT}/${triplet})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
