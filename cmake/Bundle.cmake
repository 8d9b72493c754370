# The application bundle as the build lays it out, runnable in place:
#
#   ${LUMIVANT_BUNDLE_DIR}/Lumivant            the shell (lumivant_bundle_executable)
#   ${LUMIVANT_BUNDLE_DIR}/Info.json           the information dictionary
#   Resources/lumivant.svg                     the application's icon, and its PNG
#   Resources/lumivant-<size>.png              renderings at LUMIVANT_ICON_SIZES
#   Resources/web-process/                     the modules the web process loads
#                                              (lumivant_bundle_web_process_module)
#   Resources/python/bin/python3               a virtual environment that runs the
#                                              sample backend's package "app"
#
# Packaging.cmake installs the same layout; the shell finds each part through
# its Bundle (src/selfupdate/Bundle.h).

find_program(RSVG_CONVERT rsvg-convert REQUIRED)
find_package(Python3 REQUIRED COMPONENTS Interpreter)

set(LUMIVANT_BUNDLE_DIR ${CMAKE_BINARY_DIR}/Lumivant)
set(LUMIVANT_BUNDLE_RESOURCES ${LUMIVANT_BUNDLE_DIR}/Resources)
set(LUMIVANT_WEB_PROCESS_MODULES ${LUMIVANT_BUNDLE_RESOURCES}/web-process)
set(LUMIVANT_PYTHON_DIR ${LUMIVANT_BUNDLE_RESOURCES}/python)
set(LUMIVANT_PYTHON ${LUMIVANT_PYTHON_DIR}/bin/python3)
# The sizes the windows' icon is rendered at; WindowIcons.h names the same.
set(LUMIVANT_ICON_SIZES 16 24 32 48 64 128 256)

# The images the shell draws itself are rendered from SVG at build time, so that
# it needs no SVG renderer at run time: librsvg and its dependencies would take
# several MiB of its memory for a spinner and an icon.
function(lumivant_render_svg svg size png)
  add_custom_command(OUTPUT ${png}
    COMMAND ${RSVG_CONVERT} --width=${size} --height=${size} --keep-aspect-ratio
            --output=${png} ${svg}
    DEPENDS ${svg}
    COMMENT "Rendering ${svg} at ${size} pixels")
endfunction()

# The information dictionary beside the executable. LumivantBackendTakesSocket:
# the sample backend takes the listening socket the shell holds for it
# (BACKENDS.md).
file(CONFIGURE OUTPUT ${LUMIVANT_BUNDLE_DIR}/Info.json @ONLY CONTENT
  "{\n  \"CFBundleName\": \"Lumivant\",\n  \"CFBundleShortVersionString\": \"@PROJECT_VERSION@\",\n  \"LumivantBackendTakesSocket\": true\n}\n")

# The application's icon in the bundle's resources, where the shell finds it,
# with its PNG renderings at the sizes windows show, which are what the shell
# loads.
set(icon_svg ${PROJECT_SOURCE_DIR}/packaging/lumivant.svg)
configure_file(${icon_svg} ${LUMIVANT_BUNDLE_RESOURCES}/lumivant.svg COPYONLY)
set(icon_pngs "")
foreach(size ${LUMIVANT_ICON_SIZES})
  set(png ${LUMIVANT_BUNDLE_RESOURCES}/lumivant-${size}.png)
  lumivant_render_svg(${icon_svg} ${size} ${png})
  list(APPEND icon_pngs ${png})
endforeach()
add_custom_target(lumivant_icons ALL DEPENDS ${icon_pngs})

# The bundled interpreter: a virtual environment that finds the sample
# backend's package "app", so that "python3 -m app.launcher" runs it. In the
# build tree a .pth file points the environment at the source folder, so edits
# to the package need no rebuild, and the environment is only made when it is
# missing. The stamp lies inside it, so that removing the bundle makes it anew.
set(python_stamp ${LUMIVANT_PYTHON_DIR}/lumivant-venv.stamp)
add_custom_command(
  OUTPUT ${python_stamp}
  COMMAND ${Python3_EXECUTABLE} -m venv --without-pip ${LUMIVANT_PYTHON_DIR}
  COMMAND ${LUMIVANT_PYTHON} -c
    "import sys, sysconfig, pathlib; pathlib.Path(sysconfig.get_path('purelib'), 'lumivant-sample-backend.pth').write_text(sys.argv[1] + '\\n')"
    ${PROJECT_SOURCE_DIR}/sample-backend
  COMMAND ${CMAKE_COMMAND} -E touch ${python_stamp}
  COMMENT "Making the bundled Python environment at ${LUMIVANT_PYTHON_DIR}"
  VERBATIM)
add_custom_target(lumivant_python ALL DEPENDS ${python_stamp})

# lumivant_bundle_executable(<target>): the shell's executable, at the bundle's
# top, built with the bundle's other parts.
function(lumivant_bundle_executable target)
  set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${LUMIVANT_BUNDLE_DIR})
  add_dependencies(${target} lumivant_icons lumivant_python)
endfunction()

# lumivant_bundle_web_process_module(<target> <file name>): a module the web
# process loads, in the bundle's web-process folder.
function(lumivant_bundle_web_process_module target name)
  set_target_properties(${target} PROPERTIES
    LIBRARY_OUTPUT_DIRECTORY ${LUMIVANT_WEB_PROCESS_MODULES}
    OUTPUT_NAME ${name})
endfunction()
