# Where the files the libraries and the system bus read are installed.
#
# The libraries read fixed places, whatever the installation prefix: the
# configuration folder and the message catalogues of data/include/TAVLayout.h
# (taken from that header here, so the two cannot differ), and the system
# bus reads its policies from its own data folder. These go there, not under
# CMAKE_INSTALL_PREFIX (DESTDIR still applies). TAV_INSTALL_STAGED puts them
# under the prefix instead, for a staging copy that nothing reads in place.

option(TAV_INSTALL_STAGED
  "Install configuration, pictures, catalogues and bus policy under the prefix (a staging copy the libraries do not read)"
  OFF)

file(STRINGS ${PROJECT_SOURCE_DIR}/data/include/TAVLayout.h tav_layout_lines
  REGEX "^static const std::string (CONFIG_DIR|LOCALE_DIR) = \"/")
foreach(line ${tav_layout_lines})
  if(line MATCHES "(CONFIG_DIR|LOCALE_DIR) = \"(/[^\"]*[^/\"])/?\"")
    set(TAV_LAYOUT_${CMAKE_MATCH_1} ${CMAKE_MATCH_2})
  endif()
endforeach()
if(NOT TAV_LAYOUT_CONFIG_DIR OR NOT TAV_LAYOUT_LOCALE_DIR)
  message(FATAL_ERROR "CONFIG_DIR or LOCALE_DIR not found in data/include/TAVLayout.h")
endif()

pkg_get_variable(tav_dbus_datadir dbus-1 datadir)
if(NOT tav_dbus_datadir)
  set(tav_dbus_datadir /usr/share)
endif()

if(TAV_INSTALL_STAGED)
  # Relative: under the prefix given at install time.
  string(REGEX REPLACE "^/" "" TAV_INSTALL_CONFIGDIR "${TAV_LAYOUT_CONFIG_DIR}")
  set(TAV_INSTALL_LOCALEDIR ${CMAKE_INSTALL_LOCALEDIR})
  set(TAV_INSTALL_DBUSPOLICYDIR ${CMAKE_INSTALL_DATADIR}/dbus-1/system.d)
  message(WARNING "TAV_INSTALL_STAGED: the configuration folder, message catalogues and "
    "bus policy go under the install prefix (<prefix>/${TAV_INSTALL_CONFIGDIR}, "
    "<prefix>/${TAV_INSTALL_LOCALEDIR}, <prefix>/${TAV_INSTALL_DBUSPOLICYDIR}). "
    "The libraries read only ${TAV_LAYOUT_CONFIG_DIR}/ and ${TAV_LAYOUT_LOCALE_DIR}/ "
    "and the system bus only its own folder: copy them there before use.")
else()
  set(TAV_INSTALL_CONFIGDIR ${TAV_LAYOUT_CONFIG_DIR})
  set(TAV_INSTALL_LOCALEDIR ${TAV_LAYOUT_LOCALE_DIR})
  set(TAV_INSTALL_DBUSPOLICYDIR ${tav_dbus_datadir}/dbus-1/system.d)
  message(STATUS "Installed where they are read, whatever the prefix: configuration "
    "${TAV_INSTALL_CONFIGDIR}, message catalogues ${TAV_INSTALL_LOCALEDIR}, bus policy "
    "${TAV_INSTALL_DBUSPOLICYDIR} (TAV_INSTALL_STAGED=ON puts them under the prefix)")
endif()

# The daemons' systemd units: where this machine's systemd reads packaged
# units (Debian 12: /lib/systemd/system), whatever the prefix; under the
# prefix for a staging copy.
pkg_get_variable(tav_systemd_unitdir systemd systemdsystemunitdir)
if(NOT tav_systemd_unitdir)
  set(tav_systemd_unitdir /lib/systemd/system)
endif()
if(TAV_INSTALL_STAGED)
  set(TAV_INSTALL_UNITDIR lib/systemd/system)
else()
  set(TAV_INSTALL_UNITDIR ${tav_systemd_unitdir})
endif()
