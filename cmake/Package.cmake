# orbelle_add_package(<target> OUTPUT <file.msi> ARCH x86|x64 SETTINGS_VIEW 32|64
#                     VERSION <a.b.c> [NAME <product name>] [OBSERVER <program.exe>])
#
# Authors a product package with wixl. ARCH is the package's platform;
# SETTINGS_VIEW is the registry view its "ProductCode" value lands in, which
# must be the launcher process's default view: 32 for the shipped 32-bit
# launcher (also on 64-bit Windows), 64 for the 64-bit test build.
# OBSERVER (test packages only) installs that program as observer.exe and runs
# it, with the argument "installing", at the end of the installation while
# Windows Installer still runs.
find_program(WIXL wixl REQUIRED)
set(ORBELLE_PACKAGE_DIR ${CMAKE_CURRENT_LIST_DIR}/../tests/fixtures/package)

function(orbelle_add_package target)
  cmake_parse_arguments(P "" "OUTPUT;ARCH;SETTINGS_VIEW;VERSION;NAME;OBSERVER" "" ${ARGN})
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
  # wixl resolves file sources relative to its working folder only, so each
  # package is authored in a folder of its own holding the files it installs.
  set(work ${CMAKE_CURRENT_BINARY_DIR}/${target}.wix)
  file(MAKE_DIRECTORY ${work})
  set(copy_observer "")
  set(observer no)
  if(P_OBSERVER)
    set(copy_observer COMMAND ${CMAKE_COMMAND} -E copy ${P_OBSERVER} ${work}/observer.exe)
    set(observer yes)
  endif()
  # wixl reports a package it cannot write on standard error and still exits
  # with 0, so its folder is made first.
  get_filename_component(out_dir ${P_OUTPUT} DIRECTORY)
  add_custom_command(OUTPUT ${P_OUTPUT}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${out_dir}
    COMMAND ${CMAKE_COMMAND} -E copy ${src}/readme.txt ${work}/readme.txt
    ${copy_observer}
    COMMAND ${WIXL} -a ${P_ARCH} -D "ProductName=${P_NAME}" -D Version=${P_VERSION} -D ProgramFilesDir=${pf}
            -D Win64=${win64} -D SettingsWin64=${settings64} -D Readme=readme.txt -D Observer=${observer}
            -o ${P_OUTPUT} ${src}/product.wxs
    DEPENDS ${src}/product.wxs ${src}/readme.txt ${P_OBSERVER}
    WORKING_DIRECTORY ${work}
    COMMENT "Authoring package ${P_OUTPUT}"
    VERBATIM)
  add_custom_target(${target} DEPENDS ${P_OUTPUT})
endfunction()
