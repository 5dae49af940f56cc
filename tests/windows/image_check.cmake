# A Windows build as llvm-readobj reads it: an image for MACHINE, a console
# program no larger than MAX_BYTES, whose one resource is the manifest (type 24,
# ID 1) byte for byte and whose only imports are KERNEL32, CFGMGR32 and the C
# runtime. The manifest itself asks for the invoker's rights without UI access.
# Usage: cmake -DREADOBJ=... -DEXE=... -DMANIFEST=... -DMACHINE=IMAGE_FILE_MACHINE_AMD64
#              -DMAX_BYTES=... -P image_check.cmake
if(NOT EXISTS ${EXE})
  # scripts/package builds it wherever the target's toolchain could be had.
  message(STATUS "SKIPPED: ${EXE} is not built: run scripts/package")
  return()
endif()
execute_process(COMMAND ${READOBJ} --file-headers --coff-imports --coff-resources ${EXE}
                OUTPUT_VARIABLE image RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "llvm-readobj cannot read ${EXE}")
endif()

if(NOT image MATCHES "Machine: ${MACHINE} \\(0x[0-9A-F]+\\)")
  message(FATAL_ERROR "not an image for ${MACHINE}")
endif()
if(NOT image MATCHES "Subsystem: IMAGE_SUBSYSTEM_WINDOWS_CUI \\(0x3\\)")
  message(FATAL_ERROR "not a console program")
endif()
file(SIZE ${EXE} size)
if(size GREATER MAX_BYTES)
  message(FATAL_ERROR "${size} bytes, more than ${MAX_BYTES}")
endif()

string(REGEX MATCHALL "Name: [A-Za-z0-9_.-]+\\.(dll|DLL)" names "${image}")
list(TRANSFORM names REPLACE "^Name: " "")
list(TRANSFORM names TOLOWER)
list(SORT names)
if(NOT names STREQUAL "cfgmgr32.dll;kernel32.dll;msvcrt.dll")
  message(FATAL_ERROR "imports ${names}; only cfgmgr32, kernel32 and msvcrt are allowed")
endif()

if(NOT image MATCHES "Total Number of Resources: 1\n")
  message(FATAL_ERROR "not exactly one resource")
endif()
if(NOT image MATCHES "Type: MANIFEST \\(ID 24\\)" OR NOT image MATCHES "Name: \\(ID 1\\)")
  message(FATAL_ERROR "the resource is not the manifest, type 24 ID 1")
endif()
# The resource's bytes, from the hex dump, against the file's.
string(REGEX MATCHALL "\n +[0-9A-F]+: ([0-9A-F]+ ?)+" rows "${image}")
set(data "")
foreach(row IN LISTS rows)
  string(REGEX REPLACE "^\n +[0-9A-F]+: " "" row "${row}")
  string(REPLACE " " "" row "${row}")
  string(APPEND data "${row}")
endforeach()
string(TOLOWER "${data}" data)
file(READ ${MANIFEST} expected HEX)
if(NOT data STREQUAL expected)
  message(FATAL_ERROR "the manifest resource differs from ${MANIFEST}")
endif()

# One requestedExecutionLevel, the invoker's rights, no UI access, and nothing
# but the trust information.
file(READ ${MANIFEST} manifest)
string(REGEX MATCHALL "<requestedExecutionLevel[^>]*>" levels "${manifest}")
list(LENGTH levels count)
if(NOT count EQUAL 1 OR NOT levels MATCHES " level=\"asInvoker\""
   OR NOT levels MATCHES " uiAccess=\"false\"")
  message(FATAL_ERROR "the manifest must ask for asInvoker without UI access once: ${levels}")
endif()
if(NOT manifest MATCHES "<trustInfo" OR manifest MATCHES "<dependency")
  message(FATAL_ERROR "the manifest must hold the trust information alone")
endif()
message(STATUS "${EXE}: ${MACHINE} console program of ${size} bytes, imports ${names}, "
               "the manifest as resource 24/1")
