# Installs the build into a fresh temporary prefix and checks what a user of the package gets:
# the programs run from there, their man pages (gzip-compressed) document every option --help
# lists and render without warnings, the copyright file and the changelog of this version are
# there, and the window's desktop entry (valid) and icon are in place.
# Run with -DBUILD=... -DPREFIX=... -DGUI=ON|OFF.
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

string(REGEX MATCH "[0-9]+\\.[0-9]+" release "${version}")
find_program(MAN man)
set(programs pressbolt-cli pressbolt-target)
if(GUI)
  list(APPEND programs pressbolt)
endif()
foreach(program ${programs})
  set(man ${PREFIX}/share/man/man1/${program}.1.gz)
  if(NOT EXISTS ${man})
    message(FATAL_ERROR "${program}.1.gz is not installed")
  endif()
  execute_process(COMMAND gzip -dc ${man} OUTPUT_VARIABLE manpage RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${man} is not gzip data")
  endif()
  if(NOT manpage MATCHES "^\\.TH [^\n]*\"Pressbolt ${release}\"")
    message(FATAL_ERROR "${program}(1) does not name this release, Pressbolt ${release}")
  endif()
  # The window has no options; the other two must document each one their help names.
  if(NOT program STREQUAL "pressbolt")
    execute_process(COMMAND ${PREFIX}/bin/${program} --help OUTPUT_VARIABLE help)
    string(REGEX MATCHALL "--[a-z0-9-]+" options "${help}")
    list(REMOVE_DUPLICATES options)
    foreach(option ${options})
      string(REPLACE "-" "\\-" escaped "${option}")
      string(FIND "${manpage}" "\\fB${escaped}\\fR" at)
      if(at EQUAL -1)
        message(FATAL_ERROR "${program}(1) does not document ${option}")
      endif()
    endforeach()
  endif()
  # As man-db renders it for a reader, warnings of the formatter included.
  if(MAN)
    execute_process(COMMAND ${CMAKE_COMMAND} -E env LC_ALL=C.UTF-8 MANROFFSEQ= MANWIDTH=80
                            ${MAN} --warnings -E UTF-8 -l ${man}
                    OUTPUT_QUIET ERROR_VARIABLE warnings RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0 OR NOT warnings STREQUAL "")
      message(FATAL_ERROR "man ${program}: status ${rc}\n${warnings}")
    endif()
  endif()
endforeach()

set(doc ${PREFIX}/share/doc/pressbolt)
file(STRINGS ${doc}/copyright license REGEX "^License: ")
if(NOT license MATCHES "^License: Apache-2\\.0")
  message(FATAL_ERROR "${doc}/copyright: no Apache-2.0 license (${license})")
endif()
execute_process(COMMAND gzip -dc ${doc}/changelog.gz OUTPUT_VARIABLE changelog RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR NOT changelog MATCHES "^pressbolt \\(${release}\\) ")
  message(FATAL_ERROR "the changelog does not begin with an entry for ${release}")
endif()

if(GUI)
  foreach(f bin/pressbolt share/applications/pressbolt.desktop
            share/icons/hicolor/scalable/apps/pressbolt.svg)
    if(NOT EXISTS ${PREFIX}/${f})
      message(FATAL_ERROR "${f} is not installed")
    endif()
  endforeach()
  find_program(DESKTOP_FILE_VALIDATE desktop-file-validate)
  if(DESKTOP_FILE_VALIDATE)
    execute_process(COMMAND ${DESKTOP_FILE_VALIDATE} ${PREFIX}/share/applications/pressbolt.desktop
                    OUTPUT_VARIABLE out ERROR_VARIABLE out RESULT_VARIABLE rc)
    # A hint (more than one main category, say) is a fault too: the menu shows the entry twice.
    if(NOT rc EQUAL 0 OR NOT out STREQUAL "")
      message(FATAL_ERROR "desktop-file-validate: status ${rc}\n${out}")
    endif()
  endif()
endif()
file(REMOVE_RECURSE ${PREFIX})
message(STATUS "installed into ${PREFIX}: ${version}")
