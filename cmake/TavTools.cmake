# tav_tool(<target> NAME <one-line description> [SUBHELP <word...>])
#
# An installed command-line tool (component "tools"): it knows the project
# version (TAV_VERSION, for --version), and gets a man page made at build
# time from its own --help and --version by help2man, so the page cannot
# drift from the program. SUBHELP words are asked for their help too
# ("<tool> <word> --help", and "<tool> <word> <command> --help" for every
# command that lists), and their texts become sections of the page.
# Bash completion comes from dist/completion.
find_program(TAV_HELP2MAN help2man)
if(NOT TAV_HELP2MAN)
  message(STATUS "help2man not found: no man pages (install help2man to build them)")
endif()

function(tav_tool target)
  cmake_parse_arguments(A "" "NAME" "SUBHELP" ${ARGN})
  target_compile_definitions(${target} PRIVATE TAV_VERSION="${PROJECT_VERSION}")
  install(TARGETS ${target} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tools)
  # Sanitizer builds are for the tests (and a ThreadSanitizer program may
  # not even start outside setarch -R): no man pages there.
  if(NOT TAV_HELP2MAN OR TAV_SANITIZE)
    return()
  endif()
  set(page ${PROJECT_BINARY_DIR}/man/${target}.1)
  # The tools run with a home of their own inside the build folder.
  add_custom_command(OUTPUT ${page}
    COMMAND ${CMAKE_COMMAND} -E env HOME=${CMAKE_CURRENT_BINARY_DIR}/man-home
            HELP2MAN=${TAV_HELP2MAN}
            ${PROJECT_SOURCE_DIR}/cmake/tav-man.sh ${page} $<TARGET_FILE:${target}>
            ${target} "${A_NAME}" ${A_SUBHELP}
    DEPENDS ${target} ${PROJECT_SOURCE_DIR}/cmake/tav-man.sh
    COMMENT "Making the man page of ${target}"
    VERBATIM)
  add_custom_target(${target}_man ALL DEPENDS ${page})
  install(FILES ${page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT tools)
endfunction()
