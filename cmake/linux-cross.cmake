# Cross-building for Linux with clang and lld against Debian's cross C and C++
# libraries (the cross GCC drivers would conflict with gcc-multilib, which the
# 32-bit x86 build needs). The toolchain files set CROSS_TRIPLET and
# CROSS_PROCESSOR and include this.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR ${CROSS_PROCESSOR})
set(CMAKE_C_COMPILER clang-14)
set(CMAKE_CXX_COMPILER clang++-14)
set(CMAKE_C_COMPILER_TARGET ${CROSS_TRIPLET})
set(CMAKE_CXX_COMPILER_TARGET ${CROSS_TRIPLET})
set(CMAKE_AR /usr/bin/llvm-ar-14)
set(CMAKE_RANLIB /usr/bin/llvm-ranlib-14)
set(CMAKE_STRIP /usr/bin/llvm-strip-14)
set(CMAKE_FIND_ROOT_PATH /usr/${CROSS_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
