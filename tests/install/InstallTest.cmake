# Installs the build into a fresh temporary prefix and checks what a user of the package gets:
# the programs run from there, the man page documents every option --help lists, and the
# window's desktop entry and icon are in place. Run with -DBUILD=... -DPREFIX=... -DGUI=ON|OFF.
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD} --prefix ${PREFIX}
                RESULT_VARIABLE rc OUTPUT_QUIET)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${rc}")
endif()

execute_process(COMMAND ${PREFIX}/bin/pressbolt-cli --version OUTPUT_VARIABLE version
                RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR NOT version MATCHES "^pressbolt-cli [0-9]+\\.[0-9]+\n$")
  message(FATAL_ERROR "installed pressbolt-cli --version: status ${rc}, \"${version}\"")
endif()
if(NOT EXISTS ${PREFIX}/bin/pressbolt-target)
  message(FATAL_ERROR "pressbolt-target is not installed")
endif()

set(man ${PREFIX}/share/man/man1/pressbolt-cli.1)
file(READ ${man} manpage)
execute_process(COMMAND ${PREFIX}/bin/pressbolt-cli --help OUTPUT_VARIABLE help)
string(REGEX MATCHALL "--[a-z0-9-]+" options "${help}")
list(REMOVE_DUPLICATES options)
foreach(option ${options})
  string(REPLACE "-" "\\-" escaped "${option}")
  string(FIND "${manpage}" "\\fB${escaped}\\fR" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "the man page does not document ${option}")
  endif()
endforeach()

if(GUI)
  foreach(f bin/pressbolt share/applications/pressbolt.desktop
            share/icons/hicolor/scalable/apps/pressbolt.svg)
    if(NOT EXISTS ${PREFIX}/${f})
      message(FATAL_ERROR "${f} is not installed")
    endif()
  endforeach()
endif()
file(REMOVE_RECURSE ${PREFIX})
message(STATUS "installed into ${PREFIX}: ${version}")
