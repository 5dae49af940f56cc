# Windows on ARM with clang 19 and lld 19, whose images carry the unwind data
# Windows on ARM requires (clang 14 gives ARM32 none). Debian packages no C runtime for it:
# scripts/mingw-sysroot builds mingw-w64's and compiler-rt's builtins from
# Debian's sources and links the result as build/mingw-<arch>-sysroot. The
# toolchain files set MINGW_ARCH, MINGW_TRIPLET and MINGW_PROCESSOR and
# include this.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${MINGW_PROCESSOR})
# Linked there by scripts/mingw-sysroot (scripts/lib/paths.sh names the link).
include(${CMAKE_CURRENT_LIST_DIR}/targets.cmake)
set(CPUTEMP_MINGW_SYSROOT ${CPUTEMP_TARGETS_DIR}/mingw-${MINGW_ARCH}-sysroot
    CACHE PATH "What scripts/mingw-sysroot built")
if(NOT EXISTS ${CPUTEMP_MINGW_SYSROOT}/${MINGW_TRIPLET}/lib/libmsvcrt.a)
  message(FATAL_ERROR "No ${MINGW_ARCH} sysroot in ${CPUTEMP_MINGW_SYSROOT}: "
                      "run scripts/mingw-sysroot ${MINGW_ARCH}")
endif()

set(CMAKE_C_COMPILER clang-19)
set(CMAKE_CXX_COMPILER clang++-19)
set(CMAKE_C_COMPILER_TARGET ${MINGW_TRIPLET})
set(CMAKE_CXX_COMPILER_TARGET ${MINGW_TRIPLET})
set(CMAKE_SYSROOT ${CPUTEMP_MINGW_SYSROOT})
# The builtins live in a resource directory of their own, beside clang's headers.
set(CMAKE_C_FLAGS_INIT "-resource-dir ${CPUTEMP_MINGW_SYSROOT}/resource ${MINGW_FLAGS}")
set(CMAKE_CXX_FLAGS_INIT "-resource-dir ${CPUTEMP_MINGW_SYSROOT}/resource ${MINGW_FLAGS}")
# No C++ runtime exists for these targets, and the tool needs none.
set(link "-fuse-ld=lld -rtlib=compiler-rt --unwindlib=none -nostdlib++")
# link.exe's default and minimum for ARM and ARM64 console programs: 6.02.
set(CPUTEMP_SUBSYSTEM_VERSION 6 2)
set(CMAKE_EXE_LINKER_FLAGS_INIT ${link})
set(CMAKE_SHARED_LINKER_FLAGS_INIT ${link})
set(CMAKE_MODULE_LINKER_FLAGS_INIT ${link})
set(CMAKE_RC_COMPILER /usr/lib/llvm-19/bin/llvm-windres)
set(CMAKE_RC_FLAGS_INIT "--target=${MINGW_TRIPLET}")
set(CMAKE_AR /usr/bin/llvm-ar-19)
set(CMAKE_RANLIB /usr/bin/llvm-ranlib-19)
set(CMAKE_FIND_ROOT_PATH ${CPUTEMP_MINGW_SYSROOT}/${MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
