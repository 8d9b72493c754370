# Installation of the bundle and its packages (.deb and .tar.gz).
#
#   <prefix>/Lumivant            the shell
#   <prefix>/Info.json           the information dictionary
#   <prefix>/Resources/python    a virtual environment holding the backend package "app",
#                                with the package's bytecode
#   <prefix>/Resources/lumivant.svg   the application's icon, and its PNG renderings
#   <prefix>/Resources/lumivant-<size>.png   (lumivant-16.png ...), which its windows show
#
# The component "bundle" is the bundle alone; "desktop" adds the desktop entry,
# the icon and the launcher command under /usr, and only goes into the .deb.

if(CMAKE_INSTALL_PREFIX_INITIALIZED_TO_DEFAULT)
  set(CMAKE_INSTALL_PREFIX "/opt/Lumivant" CACHE PATH "Where the bundle is installed" FORCE)
endif()
# The installed bundle runs on the system's own interpreter, which the .deb
# depends on, whatever other python3 the build machine has on its PATH.
set(LUMIVANT_SYSTEM_PYTHON "/usr/bin/python3" CACHE FILEPATH "The interpreter the installed bundle's venv is made from")
execute_process(COMMAND ${LUMIVANT_SYSTEM_PYTHON} -c "import sys; print('%d.%d' % sys.version_info[:2])"
                OUTPUT_VARIABLE LUMIVANT_PYTHON_VERSION OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
set(LUMIVANT_PYTHON_SITE "lib/python${LUMIVANT_PYTHON_VERSION}/site-packages")

install(TARGETS Lumivant RUNTIME DESTINATION . COMPONENT bundle)
install(TARGETS lumivant_page_scripts LIBRARY DESTINATION Resources/web-process COMPONENT bundle)
install(FILES ${LUMIVANT_BUNDLE_DIR}/Info.json DESTINATION . COMPONENT bundle)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/lumivant.svg DESTINATION Resources COMPONENT bundle)
foreach(size ${LUMIVANT_ICON_SIZES})
  install(FILES ${LUMIVANT_BUNDLE_DIR}/Resources/lumivant-${size}.png DESTINATION Resources
          COMPONENT bundle)
endforeach()

# The interpreter: a virtual environment over the system's python3, made at the
# destination so that its paths are the installed ones. Its activation scripts
# name the staging directory and are not needed to run the backend.
install(CODE "
  set(venv \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/Resources/python\")
  if(NOT EXISTS \"\${venv}/bin/python3\")
    execute_process(COMMAND ${LUMIVANT_SYSTEM_PYTHON} -m venv --without-pip \"\${venv}\"
                    RESULT_VARIABLE venv_result)
    if(NOT venv_result EQUAL 0)
      message(FATAL_ERROR \"python3 -m venv failed\")
    endif()
  endif()
  file(GLOB activation \"\${venv}/bin/activate*\" \"\${venv}/bin/Activate*\")
  if(activation)
    file(REMOVE \${activation})
  endif()
" COMPONENT bundle)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/sample-backend/app
        DESTINATION Resources/python/${LUMIVANT_PYTHON_SITE}
        COMPONENT bundle
        PATTERN "__pycache__" EXCLUDE
        PATTERN "*.pyc" EXCLUDE)
# The backend's bytecode, made here so that the packages carry it and removing
# the package removes it. The shell runs the backend with -B, which only stops
# Python from writing bytecode: what is shipped is read. Each file records the
# hash of its source rather than its time stamp, so unpacking, copying or
# touching the bundle never makes it stale, and an edited source is compiled
# afresh in memory instead of being ignored.
install(CODE "
  set(site \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/Resources/python/${LUMIVANT_PYTHON_SITE}\")
  execute_process(COMMAND ${LUMIVANT_SYSTEM_PYTHON} -m compileall -q -j 0
                          --invalidation-mode checked-hash \"\${site}/app\"
                  RESULT_VARIABLE compile_result)
  if(NOT compile_result EQUAL 0)
    message(FATAL_ERROR \"compiling the backend's bytecode failed\")
  endif()
" COMPONENT bundle)

configure_file(${PROJECT_SOURCE_DIR}/packaging/lumivant.desktop.in
               ${CMAKE_BINARY_DIR}/packaging/lumivant.desktop COPYONLY)
install(FILES ${CMAKE_BINARY_DIR}/packaging/lumivant.desktop
        DESTINATION /usr/share/applications COMPONENT desktop EXCLUDE_FROM_ALL)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/lumivant.svg
        DESTINATION /usr/share/icons/hicolor/scalable/apps COMPONENT desktop EXCLUDE_FROM_ALL)
# What software centres show about the shell; its launchable is the desktop entry.
install(FILES ${PROJECT_SOURCE_DIR}/packaging/org.lumivant.Lumivant.metainfo.xml
        DESTINATION /usr/share/metainfo COMPONENT desktop EXCLUDE_FROM_ALL)
install(CODE "
  file(MAKE_DIRECTORY \"\$ENV{DESTDIR}/usr/bin\")
  file(CREATE_LINK \"\${CMAKE_INSTALL_PREFIX}/Lumivant\" \"\$ENV{DESTDIR}/usr/bin/lumivant\" SYMBOLIC)
" COMPONENT desktop EXCLUDE_FROM_ALL)

set(CPACK_PACKAGE_NAME "lumivant")
set(CPACK_PACKAGE_VENDOR "Lumivant")
set(CPACK_PACKAGE_CONTACT "Lumivant developers <dev@lumivant.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Desktop shell for a research web application")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_GENERATOR "DEB;TGZ")
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/packaging/CPackProjectConfig.cmake)
set(CPACK_COMPONENTS_ALL bundle desktop)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION "science")
# The libraries come from what the executable links against; python3 runs the
# backend through the bundled virtual environment, which is tied to its minor version.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The user interface is Chinese: without a CJK font every text of the menu and
# the dialogs is drawn as boxes. The theme's icons in GTK's own dialogs (the
# file chooser's) are SVGs, which GTK loads through librsvg's image loader.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "python3 (>= ${LUMIVANT_PYTHON_VERSION}), python3 (<< ${LUMIVANT_PYTHON_VERSION}.99), fonts-noto-cjk | fonts-wqy-zenhei, librsvg2-common")
set(CPACK_ARCHIVE_FILE_NAME "Lumivant-${PROJECT_VERSION}-linux-x86_64")
include(CPack)
