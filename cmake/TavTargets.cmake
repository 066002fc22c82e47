# Helpers shared by every library, test, fuzz target and benchmark.

# Warnings are errors for our own code. Third-party headers come in as
# system includes (imported targets), so their noise never reaches -Werror.
set(TAV_WARNINGS -Wall -Wextra -Werror)
# GCC's flow analysis gives false maybe-uninitialized reports inside the
# standard library once sanitizer instrumentation is in (std::regex); the
# plain build keeps the warning.
if(TAV_SANITIZE AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  list(APPEND TAV_WARNINGS -Wno-maybe-uninitialized)
endif()

# The suppressions every program of a sanitizer build shares
# (common/SanitizerDefaults.cpp); nothing in other builds.
if(TAV_SANITIZE)
  add_library(tav_sanitizer_defaults OBJECT ${PROJECT_SOURCE_DIR}/common/SanitizerDefaults.cpp)
endif()
function(tav_program target)
  if(TARGET tav_sanitizer_defaults)
    target_link_libraries(${target} PRIVATE tav_sanitizer_defaults)
  endif()
endfunction()

function(tav_warnings target)
  target_compile_options(${target} PRIVATE ${TAV_WARNINGS})
endfunction()

# Install components, so that packagers can split an installation:
#   lib<name>  one per library: the versioned shared object (runtime)
#   dev        headers, .so links, pkg-config files, CMake packages
#   common     configuration folder, pictures, bus policy, message catalogues
#   tools      tavctl, tav-sim-daemon, tav-info, their man pages and completion
#   dcssdk     the device SDK stand-in (only when asked: TAV_INSTALL_DCSSDK)
set(TAV_DEV_COMPONENT dev)

# Package configurations find third-party modules under this prefix
# (PkgConfig::TAVDEP_DBUS, TAVDEP_DBUS_FOUND, ...): a host's own DBUS_*,
# TINYXML_*, GTK2_* variables and PkgConfig:: targets are never touched.
set(TAV_PKGDEP_PREFIX TAVDEP_)

# tav_pkg_link(<out-var> <VAR>): the link item for pkg-config module VAR:
# PkgConfig::VAR while building, the private name once installed.
function(tav_pkg_link out var)
  set(${out} "$<BUILD_INTERFACE:PkgConfig::${var}>;$<INSTALL_INTERFACE:PkgConfig::${TAV_PKGDEP_PREFIX}${var}>"
      PARENT_SCOPE)
endfunction()

# tav_add_library(<name>
#   SOURCES <files...>
#   PUBLIC_LIBS <targets...>     linked and part of the link interface
#                                (PkgConfig::<VAR> items become private names
#                                once installed, see TAV_PKGDEP_PREFIX)
#   PRIVATE_LIBS <targets...>    linked only
#   DEPENDS <our libraries...>   find_dependency() in the package config
#   PKG_MODULES <VAR=module...>  pkg-config modules the package config re-finds
#   PC_REQUIRES <text>           pkg-config "Requires:"
#   PC_LIBS <text>               more "Libs:" flags
#   DESCRIPTION <text>
#   ALLOW_UNDEFINED)             symbols may stay for the host process to provide
#
# Builds lib<name>.so with a versioned SONAME, installs it (component
# lib<name>) with its public headers (include/ -> <includedir>/TAV), a
# pkg-config file and a CMake package configuration exporting TAV::<name>
# (component dev).
function(tav_add_library name)
  cmake_parse_arguments(A "ALLOW_UNDEFINED" "DESCRIPTION;PC_REQUIRES;PC_LIBS"
                        "SOURCES;PUBLIC_LIBS;PRIVATE_LIBS;DEPENDS;PKG_MODULES" ${ARGN})
  add_library(${name} SHARED ${A_SOURCES})
  add_library(TAV::${name} ALIAS ${name})
  set_target_properties(${name} PROPERTIES
    VERSION ${PROJECT_VERSION}
    SOVERSION ${PROJECT_VERSION_MAJOR}
    OUTPUT_NAME ${name})
  target_include_directories(${name} PUBLIC
    $<BUILD_INTERFACE:${CMAKE_CURRENT_SOURCE_DIR}/include>
    $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}/TAV>)
  set(public "")
  foreach(lib ${A_PUBLIC_LIBS})
    if(lib MATCHES "^PkgConfig::(.+)$")
      tav_pkg_link(lib ${CMAKE_MATCH_1})
    endif()
    list(APPEND public ${lib})
  endforeach()
  target_link_libraries(${name} PUBLIC ${public} PRIVATE ${A_PRIVATE_LIBS})
  # Internal helpers shared by the libraries (never installed).
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/common)
  # Catch unresolved symbols at link time rather than in a host program;
  # ALLOW_UNDEFINED is for a library whose toolkit comes from the host.
  # Sanitizer runtimes come from the executable, so not under sanitizers.
  if(NOT A_ALLOW_UNDEFINED AND NOT TAV_SANITIZE)
    target_link_options(${name} PRIVATE -Wl,--no-undefined)
  endif()
  tav_warnings(${name})

  install(TARGETS ${name} EXPORT ${name}Targets
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
      COMPONENT lib${name} NAMELINK_COMPONENT ${TAV_DEV_COMPONENT})
  install(DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/include/
    DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/TAV
    COMPONENT ${TAV_DEV_COMPONENT}
    FILES_MATCHING PATTERN "*.h")
  install(EXPORT ${name}Targets NAMESPACE TAV::
    DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/${name}
    COMPONENT ${TAV_DEV_COMPONENT})

  # CMake package configuration.
  set(TAV_PKG_NAME ${name})
  set(TAV_PKG_DEPENDS "")
  foreach(dep ${A_DEPENDS})
    string(APPEND TAV_PKG_DEPENDS "find_dependency(${dep} ${PROJECT_VERSION})\n")
  endforeach()
  set(TAV_PKG_MODULES "")
  foreach(mod ${A_PKG_MODULES})
    string(REPLACE "=" ";" pair ${mod})
    list(GET pair 0 var)
    list(GET pair 1 module)
    set(var ${TAV_PKGDEP_PREFIX}${var})
    string(APPEND TAV_PKG_MODULES
      "if(NOT TARGET PkgConfig::${var})\n"
      "  pkg_check_modules(${var} QUIET IMPORTED_TARGET ${module})\n"
      "  if(NOT ${var}_FOUND)\n"
      "    set(\${CMAKE_FIND_PACKAGE_NAME}_FOUND FALSE)\n"
      "    set(\${CMAKE_FIND_PACKAGE_NAME}_NOT_FOUND_MESSAGE \"needs the pkg-config module(s) ${module}\")\n"
      "    return()\n"
      "  endif()\n"
      "endif()\n")
  endforeach()
  configure_file(${PROJECT_SOURCE_DIR}/cmake/PackageConfig.cmake.in
    ${CMAKE_CURRENT_BINARY_DIR}/${name}Config.cmake @ONLY)
  write_basic_package_version_file(
    ${CMAKE_CURRENT_BINARY_DIR}/${name}ConfigVersion.cmake
    COMPATIBILITY SameMajorVersion)
  install(FILES
    ${CMAKE_CURRENT_BINARY_DIR}/${name}Config.cmake
    ${CMAKE_CURRENT_BINARY_DIR}/${name}ConfigVersion.cmake
    DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/${name}
    COMPONENT ${TAV_DEV_COMPONENT})

  # pkg-config file. Only shared libraries are installed, so nothing is
  # needed for static linking (no Requires.private): a host needs only the
  # development files of what our headers include.
  set(TAV_PC_NAME ${name})
  set(TAV_PC_DESCRIPTION "${A_DESCRIPTION}")
  set(TAV_PC_REQUIRES "${A_PC_REQUIRES}")
  set(TAV_PC_LIBS "${A_PC_LIBS}")
  # Relocatable: the prefix is found from the .pc file's own folder, so an
  # installation copied or installed with --prefix elsewhere still works.
  file(RELATIVE_PATH TAV_PC_TO_PREFIX
    /${CMAKE_INSTALL_LIBDIR}/pkgconfig /)
  string(REGEX REPLACE "/$" "" TAV_PC_TO_PREFIX "${TAV_PC_TO_PREFIX}")
  configure_file(${PROJECT_SOURCE_DIR}/cmake/library.pc.in
    ${CMAKE_CURRENT_BINARY_DIR}/${name}.pc @ONLY)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/${name}.pc
    DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
    COMPONENT ${TAV_DEV_COMPONENT})
endfunction()

set(TAV_GTEST_CASES_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/TavGTestCases.cmake)

# tav_register_gtest_cases(<name> <program> <labels> <timeout>): CTest lists
# the cases of <program> (a path, generator expressions allowed) and adds
# each as a test; see cmake/TavGTestCases.cmake.
function(tav_register_gtest_cases name program labels timeout)
  set(include_file ${CMAKE_CURRENT_BINARY_DIR}/${name}_cases_include.cmake)
  file(GENERATE OUTPUT ${include_file} CONTENT
"set(TAV_CASES_CMAKE [==[${CMAKE_COMMAND}]==])
include([==[${TAV_GTEST_CASES_SCRIPT}]==])
tav_register_cases(${name} [==[${program}]==]
  [==[${CMAKE_CURRENT_BINARY_DIR}/${name}_cases.txt]==] \"${labels}\" ${timeout})
")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${include_file})
endfunction()

# tav_add_gtest(<name>
#   SOURCES <files...>
#   LIBS <targets...>
#   NEEDS <ns|bus|x ...>   what the shared test main prepares before the tests:
#                          ns  = private mount namespace with a temporary /etc/TAV
#                                and /tmp (skipped with a message where not allowed)
#                          bus = private system-style dbus-daemon
#                          x   = Xvfb server, DISPLAY set
#   LABELS <labels...>     "tsan" marks tests that also run under ThreadSanitizer
#   TIMEOUT <seconds>)     for each case (default 300)
#
# Each case of the program becomes a CTest test of its own, named
# Suite.Case and run in a process of its own (cmake/TavGTestCases.cmake),
# which gets a fresh temporary HOME and what NEEDS asks for from the shared
# main. Every case carries LABELS and the program's name as labels.
function(tav_add_gtest name)
  cmake_parse_arguments(A "" "TIMEOUT" "SOURCES;LIBS;NEEDS;LABELS" ${ARGN})
  string(REPLACE ";" "," needs "${A_NEEDS}")
  set(needs_src ${CMAKE_CURRENT_BINARY_DIR}/${name}_needs.cpp)
  file(GENERATE OUTPUT ${needs_src}
    CONTENT "extern const char* const tav_test_needs;\nconst char* const tav_test_needs = \"${needs}\";\n")
  add_executable(${name} ${A_SOURCES} ${needs_src})
  target_link_libraries(${name} PRIVATE ${A_LIBS} tav_test_main)
  tav_warnings(${name})
  tav_program(${name})
  if(NOT A_TIMEOUT)
    set(A_TIMEOUT 300)
  endif()
  set(labels ${A_LABELS} ${name})
  tav_register_gtest_cases(${name} $<TARGET_FILE:${name}> "${labels}" ${A_TIMEOUT})
endfunction()
