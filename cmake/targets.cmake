# Every target that scripts/package builds and the default preset's tests
# check: one configure preset each, of the same name, building in
# build/<target>. What a target makes follows from its name:
#   linux-<arch>     a Debian package, and the binary in it
#   portable-<arch>  a static tarball
#   mingw-<arch>     a Windows zip, and the simulated driver beside the .exe
# Linux architectures are spelt as Debian spells them, Windows ones as Windows
# does. `cmake -P cmake/targets.cmake` prints the list, a target and its build
# directory a line.
set(CPUTEMP_TARGETS
  linux-amd64 linux-armhf linux-arm64
  portable-amd64 portable-armhf portable-arm64
  mingw-x64 mingw-x86 mingw-arm32 mingw-arm64)

set(CPUTEMP_TARGETS_DIR ${CMAKE_CURRENT_LIST_DIR}/../build)
cmake_path(NORMAL_PATH CPUTEMP_TARGETS_DIR)

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  foreach(target IN LISTS CPUTEMP_TARGETS)
    execute_process(COMMAND ${CMAKE_COMMAND} -E echo "${target} ${CPUTEMP_TARGETS_DIR}/${target}")
  endforeach()
endif()
