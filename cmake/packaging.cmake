# Install rules, and CPack: a Debian package from each Linux build, a static
# tarball from each portable build, a .zip from each Windows build.
set(CPACK_PACKAGE_NAME cputemp)
set(CPACK_PACKAGE_VENDOR "The cputemp developers")
set(CPACK_PACKAGE_CONTACT "The cputemp developers <cputemp@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "print the CPU temperature once")
set(CPACK_STRIP_FILES ON)
# Whatever the builder's umask: directories 0755 in every archive (files get
# 0644 or 0755 from the install rules themselves).
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
    GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

# The architecture as the artefact's name spells it: Windows' own name on
# Windows, Debian's on Linux.
if(WIN32)
  if(CMAKE_SYSTEM_PROCESSOR STREQUAL "ARM64")
    set(cputemp_arch arm64)
  elseif(CMAKE_SYSTEM_PROCESSOR STREQUAL "arm")
    set(cputemp_arch arm32)
  elseif(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(cputemp_arch x64)
  else()
    set(cputemp_arch x86)
  endif()
elseif(CMAKE_SYSTEM_PROCESSOR MATCHES "^(aarch64|arm64)$")
  set(cputemp_arch arm64)
elseif(CMAKE_SYSTEM_PROCESSOR MATCHES "^arm")
  set(cputemp_arch armhf)
elseif(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|amd64)$" AND CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(cputemp_arch amd64)
else()
  set(cputemp_arch i386)
endif()

if(WIN32)
  install(TARGETS cputemp RUNTIME DESTINATION .)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/README-windows.txt DESTINATION . RENAME README.txt)
  install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION . RENAME LICENSE.txt)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME cputemp-${PROJECT_VERSION}-windows-${cputemp_arch})
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
elseif(CPUTEMP_PORTABLE)
  # The C library linked in whole, so that one file runs on any Linux of its
  # architecture: musl, whose toolchain links it static and position-independent
  # itself; or glibc, as the tool calls nothing that needs the name service or
  # other run-time modules, position-independent where it has a static-pie
  # start-up (Debian's armhf glibc has none).
  if(NOT CPUTEMP_MUSL)
    include(CheckCXXSourceCompiles)
    set(CMAKE_REQUIRED_LINK_OPTIONS -static-pie)
    check_cxx_source_compiles("int main() { return 0; }" CPUTEMP_HAS_STATIC_PIE)
    unset(CMAKE_REQUIRED_LINK_OPTIONS)
    if(CPUTEMP_HAS_STATIC_PIE)
      target_link_options(cputemp PRIVATE -static-pie)
    else()
      target_link_options(cputemp PRIVATE -static -no-pie)
    endif()
  endif()
  # Everything that runs in bin/, as one unpacks it anywhere.
  set(cputemp_bindir bin)
  set(cputemp_plugindir bin)
  set(cputemp_unitdir lib/systemd/system)
  set(cputemp_mandir share/man)
  install(FILES README.md LICENSE DESTINATION .)
  set(CPACK_GENERATOR TGZ)
  set(CPACK_PACKAGE_FILE_NAME cputemp-${PROJECT_VERSION}-linux-${cputemp_arch})
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
else()
  include(GNUInstallDirs)
  # Where monitoring systems look for their plugins: Debian's and Ubuntu's
  # path; Fedora's is %{_libdir}/nagios/plugins, Arch's /usr/lib/monitoring-plugins.
  set(CPUTEMP_PLUGINDIR lib/nagios/plugins CACHE STRING "Where check_cputemp goes")
  set(CPUTEMP_SYSTEMD_UNITDIR lib/systemd/system CACHE STRING "Where the systemd units go")
  set(cputemp_bindir ${CMAKE_INSTALL_BINDIR})
  set(cputemp_plugindir ${CPUTEMP_PLUGINDIR})
  set(cputemp_unitdir ${CPUTEMP_SYSTEMD_UNITDIR})
  set(cputemp_mandir ${CMAKE_INSTALL_MANDIR})
  # Debian wants the manuals and the changelog compressed, and the copyright.
  option(CPUTEMP_DEBIAN_LAYOUT "Install as the Debian package lays it out" OFF)
endif()

if(NOT WIN32)
  include(${CMAKE_CURRENT_LIST_DIR}/monitoring.cmake)
  install(TARGETS cputemp RUNTIME DESTINATION ${cputemp_bindir})
  set(manuals docs/cputemp.1 docs/cputemp-textfile.1 docs/check_cputemp.1)
  if(CPUTEMP_DEBIAN_LAYOUT)
    find_program(GZIP gzip REQUIRED)
    set(compressed)
    foreach(file ${manuals} packaging/changelog)
      get_filename_component(name ${file} NAME)
      add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/${name}.gz
        COMMAND ${GZIP} -9 -n -c ${PROJECT_SOURCE_DIR}/${file} > ${CMAKE_BINARY_DIR}/${name}.gz
        DEPENDS ${PROJECT_SOURCE_DIR}/${file} VERBATIM)
      list(APPEND compressed ${CMAKE_BINARY_DIR}/${name}.gz)
    endforeach()
    add_custom_target(compressed_docs ALL DEPENDS ${compressed})
    list(FILTER compressed INCLUDE REGEX "[.]1[.]gz$")
    install(FILES ${compressed} DESTINATION ${cputemp_mandir}/man1)
    install(FILES ${CMAKE_BINARY_DIR}/changelog.gz ${PROJECT_SOURCE_DIR}/packaging/debian/copyright
            DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/cputemp)
  else()
    install(FILES ${manuals} DESTINATION ${cputemp_mandir}/man1)
  endif()
endif()

if(NOT WIN32 AND NOT CPUTEMP_PORTABLE)
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${cputemp_arch})
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # CPack puts the summary first and indents this as Debian wants it.
  set(CPACK_PACKAGE_DESCRIPTION "cputemp reads the CPU's thermal sensor once, prints the temperature
in whole degrees Celsius, such as CPU Temp: 45 C, and returns the same
number as its exit status, so that scripts can act on it. On Linux it
reads the CPU sensor of the kernel's hwmon chips (Intel coretemp, AMD
k10temp, Ampere) or, on boards, the CPU thermal zone. An exit status of
-273 means that no temperature could be read. cputemp-textfile and
check_cputemp give the reading to Prometheus' node exporter and to
Nagios-style monitoring.")
endif()
include(CPack)
