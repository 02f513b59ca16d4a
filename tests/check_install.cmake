# Installs the build into a scratch prefix and checks what a user gets:
# the program, its man page, both completions and the data files.
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
                RESULT_VARIABLE installed OUTPUT_QUIET)
if(NOT installed EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${installed}")
endif()
foreach(file bin/quillon share/man/man1/quillon.1 share/bash-completion/completions/quillon
             share/zsh/vendor-completions/_quillon share/quillon/english.lan share/quillon/samples/sheet.tif)
  if(NOT EXISTS "${PREFIX}/${file}")
    message(FATAL_ERROR "not installed: ${file}")
  endif()
endforeach()
execute_process(COMMAND "${PREFIX}/bin/quillon" --version OUTPUT_VARIABLE version RESULT_VARIABLE ran)
if(NOT ran EQUAL 0 OR NOT version MATCHES "^quillon ")
  message(FATAL_ERROR "the installed quillon does not run: ${ran} ${version}")
endif()
file(READ "${PREFIX}/share/man/man1/quillon.1" page)
if(NOT page MATCHES "^\\.TH QUILLON 1")
  message(FATAL_ERROR "the man page has no title line")
endif()
file(REMOVE_RECURSE "${PREFIX}")
