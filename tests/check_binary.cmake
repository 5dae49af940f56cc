# The Linux binary must run on the C library alone and our objects must bring
# no static constructors.
get_filename_component(dir ${BINARY} DIRECTORY)
if(NOT EXISTS ${BINARY} AND NOT EXISTS ${dir}/CMakeCache.txt)
  message(STATUS "SKIPPED: ${dir} was not built: run scripts/package")
  return()
endif()
execute_process(COMMAND readelf -d ${BINARY} OUTPUT_VARIABLE dynamic RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "readelf -d failed on ${BINARY}")
endif()
string(REGEX MATCHALL "Shared library: \\[[^]]+\\]" needed "${dynamic}")
# On ARM the stack protector's guard lives in glibc's dynamic loader, which
# every dynamic program has anyway: it may be named too.
list(FILTER needed EXCLUDE REGEX "^Shared library: \\[ld-linux-[a-z0-9_-]+\\.so\\.[0-9]+\\]$")
if(NOT needed STREQUAL "Shared library: [libc.so.6]")
  message(FATAL_ERROR "${BINARY} needs ${needed}; only glibc is allowed")
endif()

# The sensor the user names is taken only from a trustworthy environment: never
# from that of a set-user-ID run.
execute_process(COMMAND readelf --dyn-syms -W ${BINARY} OUTPUT_VARIABLE imports RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR NOT imports MATCHES " secure_getenv@" OR imports MATCHES " getenv@")
  message(FATAL_ERROR "${BINARY} must read its environment with secure_getenv alone")
endif()

# Objects are checked where they are given: the cross builds give none.
string(REPLACE "|" ";" objects "${OBJECTS}")
list(LENGTH objects count)
foreach(object IN LISTS objects)
  execute_process(COMMAND readelf -S -W ${object} OUTPUT_VARIABLE sections RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "readelf -S failed on ${object}")
  endif()
  if(sections MATCHES "\\.init_array|\\.ctors")
    message(FATAL_ERROR "${object} runs code before main")
  endif()
endforeach()
message(STATUS "${BINARY}: ${needed}; ${count} objects without constructors")
