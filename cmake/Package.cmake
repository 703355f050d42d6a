# orbelle_add_package(<target> OUTPUT <file.msi> ARCH x86|x64 SETTINGS_VIEW 32|64
#                     VERSION <a.b.c> [NAME <product name>])
#
# Authors a product package with wixl. ARCH is the package's platform;
# SETTINGS_VIEW is the registry view its "ProductCode" value lands in, which
# must be the launcher process's default view: 32 for the shipped 32-bit
# launcher (also on 64-bit Windows), 64 for the 64-bit test build.
find_program(WIXL wixl REQUIRED)
set(ORBELLE_PACKAGE_DIR ${CMAKE_CURRENT_LIST_DIR}/../tests/fixtures/package)

function(orbelle_add_package target)
  cmake_parse_arguments(P "" "OUTPUT;ARCH;SETTINGS_VIEW;VERSION;NAME" "" ${ARGN})
  if(NOT P_NAME)
    set(P_NAME "Orbelle Demo Driver")
  endif()
  if(P_ARCH STREQUAL "x64")
    set(pf ProgramFiles64Folder)
    set(win64 yes)
  else()
    set(pf ProgramFilesFolder)
    set(win64 no)
  endif()
  if(P_SETTINGS_VIEW STREQUAL "64")
    set(settings64 yes)
  else()
    set(settings64 no)
  endif()
  get_filename_component(src ${ORBELLE_PACKAGE_DIR} ABSOLUTE)
  add_custom_command(OUTPUT ${P_OUTPUT}
    COMMAND ${WIXL} -a ${P_ARCH} -D "ProductName=${P_NAME}" -D Version=${P_VERSION} -D ProgramFilesDir=${pf}
            -D Win64=${win64} -D SettingsWin64=${settings64} -D Readme=readme.txt
            -o ${P_OUTPUT} ${src}/product.wxs
    DEPENDS ${src}/product.wxs ${src}/readme.txt
    # wixl resolves file sources relative to the working folder only.
    WORKING_DIRECTORY ${src}
    COMMENT "Authoring package ${P_OUTPUT}"
    VERBATIM)
  add_custom_target(${target} DEPENDS ${P_OUTPUT})
endfunction()
