# tav_add_translations(<po folder> <domain...>)
#
# Compiles the catalogues of every language listed in <po folder>/LINGUAS
# (one code a line, # starts a comment) with msgfmt --check, into
# <build>/locale/<lang>/LC_MESSAGES/<domain>.mo, and installs them in
# TAV_INSTALL_LOCALEDIR (component common). A language has one file per
# domain it translates, <domain>.<lang>.po (e.g. libTAVGUI.de.po), and at
# least one. Sets TAV_CATALOGUES in the caller to the catalogues built,
# relative to the locale folder (<lang>/LC_MESSAGES/<domain>.mo).
function(tav_add_translations podir)
  set(domains ${ARGN})
  set(languages "")
  if(EXISTS ${podir}/LINGUAS)
    file(STRINGS ${podir}/LINGUAS lines)
    foreach(line ${lines})
      string(REGEX REPLACE "#.*" "" line "${line}")
      string(REGEX MATCHALL "[^ \t]+" words "${line}")
      list(APPEND languages ${words})
    endforeach()
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${podir}/LINGUAS)
  endif()
  if(NOT languages)
    set(TAV_CATALOGUES "" PARENT_SCOPE)
    return()
  endif()
  find_program(TAV_MSGFMT msgfmt)
  if(NOT TAV_MSGFMT)
    message(FATAL_ERROR "msgfmt (gettext) is needed for the languages of ${podir}/LINGUAS")
  endif()

  set(outputs "")
  set(catalogues "")
  foreach(lang ${languages})
    if(NOT lang MATCHES "^[a-z][a-z][a-z]?(_[A-Z][A-Z])?(@[a-z]+)?$")
      message(FATAL_ERROR "${podir}/LINGUAS: '${lang}' is not a language code")
    endif()
    set(found FALSE)
    foreach(domain ${domains})
      set(po ${podir}/${domain}.${lang}.po)
      if(NOT EXISTS ${po})
        continue()
      endif()
      set(found TRUE)
      set(dir ${PROJECT_BINARY_DIR}/locale/${lang}/LC_MESSAGES)
      add_custom_command(OUTPUT ${dir}/${domain}.mo
        COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
        COMMAND ${TAV_MSGFMT} --check -o ${dir}/${domain}.mo ${po}
        DEPENDS ${po}
        COMMENT "Compiling the ${lang} catalogue of ${domain}"
        VERBATIM)
      list(APPEND outputs ${dir}/${domain}.mo)
      list(APPEND catalogues ${lang}/LC_MESSAGES/${domain}.mo)
      install(FILES ${dir}/${domain}.mo
        DESTINATION ${TAV_INSTALL_LOCALEDIR}/${lang}/LC_MESSAGES COMPONENT common)
    endforeach()
    if(NOT found)
      message(FATAL_ERROR "${podir}/LINGUAS lists '${lang}' but no <domain>.${lang}.po exists "
        "(domains: ${domains})")
    endif()
  endforeach()
  add_custom_target(tav_translations ALL DEPENDS ${outputs})
  set(TAV_CATALOGUES ${catalogues} PARENT_SCOPE)
endfunction()
