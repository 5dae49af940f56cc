# Static builds against musl, Debian's musl-dev of the target's architecture as
# scripts/musl-sysroot unpacks it, with clang and lld: no C++ library is
# compiled in or linked, as the tool needs none. The toolchain files set
# MUSL_ARCH, MUSL_TRIPLET, GNU_TRIPLET (whose gcc brings libgcc, the helpers a
# division of 64 bits needs on 32-bit ARM), CROSS_PROCESSOR and MUSL_FLAGS,
# and include this.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR ${CROSS_PROCESSOR})
set(CMAKE_C_COMPILER clang-14)
set(CMAKE_CXX_COMPILER clang++-14)
set(CMAKE_C_COMPILER_TARGET ${MUSL_TRIPLET})
set(CMAKE_CXX_COMPILER_TARGET ${MUSL_TRIPLET})
set(CMAKE_AR /usr/bin/llvm-ar-14)
set(CMAKE_RANLIB /usr/bin/llvm-ranlib-14)
set(CMAKE_STRIP /usr/bin/llvm-strip-14)
set(CPUTEMP_MUSL ON)

# Linked there by scripts/musl-sysroot (scripts/lib/paths.sh names the link).
include(${CMAKE_CURRENT_LIST_DIR}/targets.cmake)
set(CPUTEMP_MUSL_SYSROOT ${CPUTEMP_TARGETS_DIR}/musl-${MUSL_ARCH}-sysroot
    CACHE PATH "What scripts/musl-sysroot unpacked")
set(musl_lib ${CPUTEMP_MUSL_SYSROOT}/usr/lib/${MUSL_TRIPLET})
if(NOT EXISTS ${musl_lib}/libc.a)
  message(FATAL_ERROR "No ${MUSL_ARCH} musl in ${CPUTEMP_MUSL_SYSROOT}: "
                      "run scripts/musl-sysroot ${MUSL_ARCH}")
endif()
execute_process(COMMAND clang-14 --target=${GNU_TRIPLET} -print-libgcc-file-name
  OUTPUT_VARIABLE libgcc OUTPUT_STRIP_TRAILING_WHITESPACE)
# The C library's headers alone, and clang's own; none of glibc's or
# libstdc++'s. In the rules, where no preset's flags replace them; musl has no
# fortified functions, so that a preset's _FORTIFY_SOURCE is undone.
set(musl_flags "-nostdlibinc -nostdinc++ -isystem ${CPUTEMP_MUSL_SYSROOT}/usr/include/${MUSL_TRIPLET} \
${MUSL_FLAGS} \
-U_FORTIFY_SOURCE")
foreach(lang C CXX)
  set(CMAKE_${lang}_COMPILE_OBJECT
    "<CMAKE_${lang}_COMPILER> <DEFINES> <INCLUDES> <FLAGS> ${musl_flags} -o <OBJECT> -c <SOURCE>")
endforeach()
# Position-independent and static: musl's own start-up relocates the program
# (rcrt1.o); libc and libgcc, then nothing else.
set(musl_link "${MUSL_FLAGS} -fuse-ld=lld -nostdlib -static-pie -Wno-unused-command-line-argument")
foreach(lang C CXX)
  set(CMAKE_${lang}_LINK_EXECUTABLE "<CMAKE_${lang}_COMPILER> <FLAGS> <CMAKE_${lang}_LINK_FLAGS> \
<LINK_FLAGS> ${musl_link} ${musl_lib}/rcrt1.o ${musl_lib}/crti.o <OBJECTS> -o <TARGET> \
<LINK_LIBRARIES> ${musl_lib}/libc.a ${libgcc} ${musl_lib}/crtn.o")
endforeach()
set(CMAKE_FIND_ROOT_PATH ${musl_lib})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
