# Per-generator settings, read by cpack at packaging time.
if(CPACK_GENERATOR STREQUAL "DEB")
  # The .deb installs the bundle under /opt/Lumivant and the desktop
  # integration under /usr.
  set(CPACK_SET_DESTDIR ON)
  set(CPACK_INSTALL_PREFIX "/opt/Lumivant")
  set(CPACK_PACKAGING_INSTALL_PREFIX "/opt/Lumivant")
elseif(CPACK_GENERATOR STREQUAL "TGZ")
  # The archive is the bundle alone, runnable wherever it is unpacked.
  set(CPACK_COMPONENTS_ALL bundle)
  set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
  set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
  set(CPACK_COMPONENT_INCLUDE_TOPLEVEL_DIRECTORY ON)
  set(CPACK_SET_DESTDIR OFF)
  set(CPACK_PACKAGING_INSTALL_PREFIX "")
endif()
