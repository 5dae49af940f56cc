# The monitoring programs beside the tool (monitoring/), configured with the
# version and where the tool and they are installed, and installed with the
# systemd units that run cputemp-textfile; packaging.cmake says where
# (cputemp_bindir, cputemp_plugindir, cputemp_unitdir). In the build tree they
# sit beside the tool, which they run there.
set(CPUTEMP_TEXTFILE_DIR /var/lib/prometheus/node-exporter
  CACHE PATH "The node exporter's textfile directory (Debian's)")
if(IS_ABSOLUTE ${cputemp_bindir})
  set(bindir ${cputemp_bindir})
else()
  set(bindir ${CMAKE_INSTALL_PREFIX}/${cputemp_bindir})
endif()
set(CPUTEMP_INSTALLED ${bindir}/cputemp)
set(CPUTEMP_TEXTFILE_INSTALLED ${bindir}/cputemp-textfile)
foreach(program cputemp-textfile check_cputemp)
  configure_file(${PROJECT_SOURCE_DIR}/monitoring/${program}.in ${CMAKE_BINARY_DIR}/${program}
    @ONLY FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
    WORLD_READ WORLD_EXECUTE)
endforeach()
configure_file(${PROJECT_SOURCE_DIR}/monitoring/cputemp-textfile.service.in
  ${CMAKE_BINARY_DIR}/cputemp-textfile.service @ONLY)
install(PROGRAMS ${CMAKE_BINARY_DIR}/cputemp-textfile DESTINATION ${cputemp_bindir})
install(PROGRAMS ${CMAKE_BINARY_DIR}/check_cputemp DESTINATION ${cputemp_plugindir})
install(FILES ${CMAKE_BINARY_DIR}/cputemp-textfile.service
  ${PROJECT_SOURCE_DIR}/monitoring/cputemp-textfile.timer DESTINATION ${cputemp_unitdir})
