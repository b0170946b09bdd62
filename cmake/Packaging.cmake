# Installation in the usual places and a Debian package (`make package`, or `cpack -G DEB` in a
# build directory). Dependencies of the package are worked out from the programs' shared
# libraries, so they are the Debian runtime packages, never the -dev ones.
include(GNUInstallDirs)

foreach(program pressbolt pressbolt-cli pressbolt-target)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()
if(TARGET pressbolt)
  install(FILES ${PROJECT_SOURCE_DIR}/data/pressbolt.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${PROJECT_SOURCE_DIR}/data/pressbolt.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
endif()

# Manual pages and the changelog are installed gzip-compressed, as Debian keeps them; -n leaves
# the file's name and time out of the header, so the same text always gives the same bytes.
find_program(PRESSBOLT_GZIP gzip REQUIRED)
set(pressbolt_gzipped)
function(pressbolt_gzip source output)
  set(plain ${CMAKE_BINARY_DIR}/data/${output})
  add_custom_command(OUTPUT ${plain}.gz
    COMMAND ${CMAKE_COMMAND} -E copy ${source} ${plain}
    COMMAND ${PRESSBOLT_GZIP} -9nf ${plain}
    DEPENDS ${source} VERBATIM)
  set(pressbolt_gzipped ${pressbolt_gzipped} ${plain}.gz PARENT_SCOPE)
endfunction()

foreach(program pressbolt pressbolt-cli pressbolt-target)
  if(TARGET ${program})
    pressbolt_gzip(${PROJECT_SOURCE_DIR}/data/${program}.1 ${program}.1)
    install(FILES ${CMAKE_BINARY_DIR}/data/${program}.1.gz
            DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  endif()
endforeach()
pressbolt_gzip(${PROJECT_SOURCE_DIR}/data/debian/changelog changelog)
add_custom_target(pressbolt_docs ALL DEPENDS ${pressbolt_gzipped})

# What Debian asks of every package: the license in its machine-readable copyright file and the
# changelog. A finding of Debian's checker (lintian) that must stay is overridden, each with its
# reason, in data/debian/lintian-overrides, which the package then carries; today none does.
install(FILES ${PROJECT_SOURCE_DIR}/data/debian/copyright ${CMAKE_BINARY_DIR}/data/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
if(EXISTS ${PROJECT_SOURCE_DIR}/data/debian/lintian-overrides)
  install(FILES ${PROJECT_SOURCE_DIR}/data/debian/lintian-overrides
          DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME pressbolt)
endif()

set(CPACK_PACKAGE_NAME pressbolt)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
# A placeholder: the real maintainer's address goes here (and in data/debian/changelog).
set(CPACK_PACKAGE_CONTACT "Pressbolt developers <pressbolt@example.org>")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Load tester for web servers, with a window and a command line")
# Debian's checkers want the description's lines within 80 columns.
string(CONCAT CPACK_PACKAGE_DESCRIPTION
  "Pressbolt starts one HTTP/1.0 request per simulated user (1 to 20000), all\n"
  "together, and reports per request, per run and per ramp step what the\n"
  "server did. pressbolt is the desktop program, pressbolt-cli the same test\n"
  "for scripts and CI with JSON, CSV and HTML results, pressbolt-target a\n"
  "small scriptable HTTP server for trying it out.")
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
