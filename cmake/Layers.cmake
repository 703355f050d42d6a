# The product's layers: one static library per subsystem folder, joined by
# target_link_libraries edges, and two header-only targets for the launcher's
# headers that the layers below it take (README.md, "Layers").
#
# Every target includes its headers by their path in the source tree
# (#include "staging/payload.h"), yet the source tree itself is on no include
# path. Each target has an include directory of its own in the build tree,
# build/<tree>/include/<target>, that holds links to its own folder (or, for a
# header-only target, to its named files) and nothing else; a target reaches
# another's headers only by linking it. An include of a header whose target is
# not linked fails the build with "No such file or directory"
# (tests/product/layer_includes_test.cmake shows it for a table of cases).
#
# The launchers link every layer compiled for link-time optimization, which
# keeps the shipped stub within its size; the test programs link the ordinary
# libraries (see the top-level CMakeLists.txt). Each layer therefore comes in
# two forms, orbelle_<layer> and orbelle_<layer>_lto, with the same sources,
# include directory and edges: an _lto library links the _lto form of every
# project target that has one, so that no link mixes the two.

# orbelle_include_tree(<name> <target>... [FOLDERS <folder>...] [FILES <file>...])
# Makes build/<tree>/include/<name> hold a link to each named folder and file
# of the source tree, at the same relative path, and nothing else, and puts
# that directory on the include path of each <target> and of what links it
# (INTERFACE for header-only targets, else PUBLIC). Links that an earlier
# configure made and that are no longer named are removed; the links are
# never followed when removed.
function(orbelle_include_tree name)
  cmake_parse_arguments(I "" "" "FOLDERS;FILES" ${ARGN})
  set(dir ${CMAKE_BINARY_DIR}/include/${name})
  file(GLOB_RECURSE earlier LIST_DIRECTORIES true ${dir}/*)
  foreach(entry IN LISTS earlier)
    if(IS_SYMLINK ${entry})
      file(REMOVE ${entry})
    endif()
  endforeach()
  foreach(entry IN LISTS I_FOLDERS I_FILES)
    if(NOT EXISTS ${PROJECT_SOURCE_DIR}/${entry})
      message(FATAL_ERROR "${name}: ${entry} is not in the source tree")
    endif()
    get_filename_component(parent ${dir}/${entry} DIRECTORY)
    file(MAKE_DIRECTORY ${parent})
    file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${entry} ${dir}/${entry} SYMBOLIC)
  endforeach()
  foreach(target IN LISTS I_UNPARSED_ARGUMENTS)
    get_target_property(type ${target} TYPE)
    if(type STREQUAL "INTERFACE_LIBRARY")
      target_include_directories(${target} INTERFACE ${dir})
    else()
      target_include_directories(${target} PUBLIC ${dir})
    endif()
  endforeach()
endfunction()

# _orbelle_form(<out> <form> <target>...): each <target> in <form> ("" or
# "_lto"): <target>_lto where that exists and <form> is "_lto", else <target>
# (system libraries and targets with one form only).
function(_orbelle_form out form)
  set(result "")
  foreach(target IN LISTS ARGN)
    if(form STREQUAL "_lto" AND TARGET ${target}_lto)
      list(APPEND result ${target}_lto)
    else()
      list(APPEND result ${target})
    endif()
  endforeach()
  set(${out} ${result} PARENT_SCOPE)
endfunction()

# orbelle_add_layer(<folder> SOURCES <file>... [PUBLIC <target>...] [PRIVATE <target>...])
# The layer of the subsystem folder <folder>: orbelle_<folder> and
# orbelle_<folder>_lto, static libraries of the SOURCES (relative to the
# calling CMakeLists.txt), whose include directory holds <folder> alone.
# PUBLIC names what the layer's headers include (those who link the layer
# reach it too), PRIVATE what only its sources include; both may name system
# libraries. The layer's sources are compiled as product code
# (ORBELLE_PRODUCT_CODE, which keeps test-only declarations out of them:
# framework/test_seam.h) with the lean flags.
function(orbelle_add_layer folder)
  cmake_parse_arguments(L "" "" "SOURCES;PUBLIC;PRIVATE" ${ARGN})
  foreach(form "" "_lto")
    set(target orbelle_${folder}${form})
    add_library(${target} STATIC ${L_SOURCES})
    _orbelle_form(public "${form}" ${L_PUBLIC})
    _orbelle_form(private "${form}" ${L_PRIVATE})
    target_link_libraries(${target} PUBLIC orbelle_options ${public} PRIVATE ${private})
    target_compile_options(${target} PRIVATE ${ORBELLE_LEAN_FLAGS})
    target_compile_definitions(${target} PRIVATE ORBELLE_PRODUCT_CODE)
  endforeach()
  target_compile_options(orbelle_${folder}_lto PRIVATE -flto)
  set_target_properties(orbelle_${folder}_lto PROPERTIES EXCLUDE_FROM_ALL ON)
  orbelle_include_tree(orbelle_${folder} orbelle_${folder} orbelle_${folder}_lto FOLDERS ${folder})
endfunction()

# orbelle_add_headers(<name> FILES <file>... [LINKS <target>...])
# A header-only target orbelle_<name> whose include directory holds the named
# files alone (paths in the source tree), linking LINKS (what those headers
# include). With LINKS it has an _lto form as a layer has.
function(orbelle_add_headers name)
  cmake_parse_arguments(H "" "" "FILES;LINKS" ${ARGN})
  set(forms "")
  if(H_LINKS)
    set(forms "_lto")
  endif()
  set(targets "")
  foreach(form "" ${forms})
    set(target orbelle_${name}${form})
    add_library(${target} INTERFACE)
    _orbelle_form(links "${form}" ${H_LINKS})
    target_link_libraries(${target} INTERFACE ${links})
    list(APPEND targets ${target})
  endforeach()
  orbelle_include_tree(orbelle_${name} ${targets} FILES ${H_FILES})
endfunction()
