# Compiles the core for Windows on 32-bit ARM (Thumb-2) against the mingw-w64
# headers: objects only, as no ARM Windows C runtime can be had here to link.
# Then checks the objects' machine and the interface class's bytes in them.
set(flags --target=armv7-w64-windows-gnu -std=c++20 -Os -fno-exceptions -fno-rtti
    -Wall -Wextra -Wconversion -Wsign-conversion -Wformat=2 -Werror
    -nostdinc++ -isystem /usr/share/mingw-w64/include -I${SOURCE_DIR})
file(MAKE_DIRECTORY ${OUT_DIR})
foreach(source tool/main.cpp discovery/discovery.cpp discovery/bounded_copy.cpp
               tests/windows/arm32_layout.cpp)
  get_filename_component(name ${source} NAME_WE)
  execute_process(COMMAND ${CLANG} ${flags} -c ${SOURCE_DIR}/${source} -o ${OUT_DIR}/${name}.o
                  RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${source} does not compile for armv7 Windows")
  endif()
  execute_process(COMMAND ${READOBJ} --file-headers ${OUT_DIR}/${name}.o OUTPUT_VARIABLE headers)
  if(NOT headers MATCHES "IMAGE_FILE_MACHINE_ARMNT")
    message(FATAL_ERROR "${name}.o is not an ARM Thumb-2 (ARMNT) COFF object")
  endif()
endforeach()

# CpuThermalInterfaceGuid as the ARM target stores it, little-endian.
execute_process(COMMAND ${OBJDUMP} -s -j .rdata ${OUT_DIR}/arm32_layout.o OUTPUT_VARIABLE rdata)
string(REGEX MATCHALL "\n [0-9a-f]+ (([0-9a-f]+ ?)+)" lines "${rdata}")
set(hex "")
foreach(line IN LISTS lines)
  string(REGEX REPLACE "^\n [0-9a-f]+ " "" words "${line}")
  string(REGEX REPLACE "  .*$" "" words "${words}")
  string(REPLACE " " "" words "${words}")
  string(APPEND hex "${words}")
endforeach()
execute_process(COMMAND ${OBJDUMP} -t ${OUT_DIR}/arm32_layout.o OUTPUT_VARIABLE symbols)
if(NOT symbols MATCHES "0x([0-9a-f]+) ThermalClassAsStored")
  message(FATAL_ERROR "no ThermalClassAsStored in the ARM object")
endif()
math(EXPR at "0x${CMAKE_MATCH_1} * 2")
string(SUBSTRING "${hex}" ${at} 32 guid)
if(NOT guid STREQUAL "41f3a3c5a3e879459e09db61b3a39c1e")
  message(FATAL_ERROR "interface class bytes in the ARM object: ${guid}")
endif()
message(STATUS "core compiles for armv7 Windows; interface class bytes ${guid}")
