# Install rules: the libraries, headers, the CMake package (corvane::corvane,
# corvane::corvane_shared) and corvane.pc. Components split the files the way
# the Debian packages do: runtime (the shared object), dev, cli.
include(CMakePackageConfigHelpers)

set(CORVANE_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/corvane)

install(TARGETS corvane corvane_shared EXPORT corvaneTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT dev)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/corvane ${PROJECT_BINARY_DIR}/include/corvane
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT dev
  FILES_MATCHING PATTERN "*.h")
if(TARGET corvane-rest)
  install(TARGETS corvane-rest RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT cli)
endif()

install(EXPORT corvaneTargets NAMESPACE corvane:: DESTINATION ${CORVANE_CMAKE_DIR} COMPONENT dev)
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/corvaneConfig.cmake.in
  ${PROJECT_BINARY_DIR}/corvaneConfig.cmake INSTALL_DESTINATION ${CORVANE_CMAKE_DIR})
# Before 1.0 a minor release may change the interface, so only the same
# major.minor satisfies a request.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/corvaneConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/corvaneConfig.cmake ${PROJECT_BINARY_DIR}/corvaneConfigVersion.cmake
  DESTINATION ${CORVANE_CMAKE_DIR} COMPONENT dev)

# corvane.pc is written at install time so its prefix is the one installed
# into (cmake --install --prefix, or the packaging prefix), not the configured one.
if(IS_ABSOLUTE ${CMAKE_INSTALL_LIBDIR})
  set(CORVANE_PC_LIBDIR ${CMAKE_INSTALL_LIBDIR})
else()
  set(CORVANE_PC_LIBDIR "\${prefix}/${CMAKE_INSTALL_LIBDIR}")
endif()
if(IS_ABSOLUTE ${CMAKE_INSTALL_INCLUDEDIR})
  set(CORVANE_PC_INCLUDEDIR ${CMAKE_INSTALL_INCLUDEDIR})
else()
  set(CORVANE_PC_INCLUDEDIR "\${prefix}/${CMAKE_INSTALL_INCLUDEDIR}")
endif()
set(prefix "@prefix@")  # left for the install-time pass
configure_file(${CMAKE_CURRENT_LIST_DIR}/corvane.pc.in ${PROJECT_BINARY_DIR}/corvane.pc.in @ONLY)
unset(prefix)
install(CODE "
  set(prefix \"\${CMAKE_INSTALL_PREFIX}\")
  configure_file(\"${PROJECT_BINARY_DIR}/corvane.pc.in\" \"${PROJECT_BINARY_DIR}/corvane.pc\" @ONLY)
" COMPONENT dev)
install(FILES ${PROJECT_BINARY_DIR}/corvane.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT dev)

# Each Debian package carries the licence as its copyright file.
foreach(component runtime dev cli)
  if(component STREQUAL runtime)
    set(pkg libcorvane${PROJECT_VERSION_MAJOR})
  elseif(component STREQUAL dev)
    set(pkg libcorvane-dev)
  else()
    set(pkg corvane-rest)
  endif()
  install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${pkg}
    RENAME copyright COMPONENT ${component})
endforeach()

# The client's manual page, bash completion and reference pages.
if(TARGET corvane-rest)
  get_property(corvane_man GLOBAL PROPERTY CORVANE_MAN_PAGE)
  if(corvane_man)
    install(FILES ${corvane_man} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT cli)
  endif()
  install(FILES ${PROJECT_SOURCE_DIR}/tools/completion/corvane-rest
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/bash-completion/completions COMPONENT cli)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/reference
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/corvane-rest COMPONENT cli)
endif()
