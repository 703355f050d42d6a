# orbelle_add_launcher(<target>
#     [OUTPUT_NAME <name>]
#     [PAYLOADS <RESOURCE_NAME>=<file> ...]   MSI32/MSI64 get type "MSI", the rest "EXE"
#     [CONFIRM_TEXT <text>] [CONFIRM_CAPTION <text>]   string resources 500 and 501
#     [DEPENDS <targets that produce payload files>]
#     [UNCHECKED_PAYLOADS <RESOURCE_NAME> ...]
#     [WRONG_DIGESTS <RESOURCE_NAME> ...])
#
# Builds a launcher executable around the given payload files. The product and
# the test launchers are made the same way; they differ only in what they carry.
#
# Before the resources are compiled, a build step checks every payload
# (cmake/PayloadChecks.cmake) and stops the build at one that cannot be right.
# A test launcher that deliberately carries a wrong payload (a 64-bit test
# package as "MSI32", a text file as a package) names those resources in
# UNCHECKED_PAYLOADS, with the reason beside it. The same step computes every
# payload's SHA-256 for the launcher's digest resource, which the launcher
# compares with each payload file it writes; a test launcher that must carry
# a wrong digest names the resource in WRONG_DIGESTS.
include(${CMAKE_CURRENT_LIST_DIR}/PayloadChecks.cmake)
set(ORBELLE_PAYLOAD_CHECKS ${CMAKE_CURRENT_LIST_DIR}/PayloadChecks.cmake)
set(ORBELLE_MANIFEST ${CMAKE_CURRENT_LIST_DIR}/../resources/launcher.manifest)
set(ORBELLE_RC_TEMPLATE ${CMAKE_CURRENT_LIST_DIR}/../resources/launcher_version.rc.in)

function(orbelle_rc_string out text)
  string(REPLACE "\"" "\"\"" escaped "${text}")
  set(${out} "\"${escaped}\"" PARENT_SCOPE)
endfunction()

# orbelle_payload_step(<target> <out> <digests_out> [PAYLOADS <RESOURCE> <file> ...]
#                      [UNCHECKED <RESOURCE> ...] [WRONG_DIGESTS <RESOURCE> ...])
# The build step that reads every payload of <target> before its resources
# are compiled: it checks those not named UNCHECKED, writes the SHA-256 of
# every payload, checked or not, into a digest file (one line
# "<RESOURCE> <hex>" each, the text of the launcher's digest resource) and
# touches a stamp. <out> receives the stamp's path and <digests_out> the
# digest file's ("" both without payloads). WRONG_DIGESTS is for test
# launchers only: the digest written for each resource named there is
# deliberately not the payload's.
function(orbelle_payload_step target out digests_out)
  cmake_parse_arguments(S "" "" "PAYLOADS;UNCHECKED;WRONG_DIGESTS" ${ARGN})
  set(pairs ${S_PAYLOADS})
  set(unchecked ${S_UNCHECKED})
  set(wrong ${S_WRONG_DIGESTS})
  set(${out} "" PARENT_SCOPE)
  set(${digests_out} "" PARENT_SCOPE)
  if(NOT pairs)
    return()
  endif()
  set(carried "")
  set(files "")
  while(pairs)
    list(POP_FRONT pairs name file)
    list(APPEND carried ${name})
    list(APPEND files "${file}")
  endwhile()
  foreach(name IN LISTS unchecked wrong)
    if(NOT name IN_LIST carried)
      message(FATAL_ERROR "${target}: UNCHECKED_PAYLOADS or WRONG_DIGESTS names ${name}, which it does not carry")
    endif()
  endforeach()
  set(dir ${CMAKE_CURRENT_BINARY_DIR}/${target}.payloads)
  set(list_file ${dir}/payloads.cmake)
  set(stamp ${dir}/checked)
  set(digests ${dir}/digests.txt)
  file(CONFIGURE OUTPUT ${list_file} CONTENT [[
set(launcher "@target@")
set(payloads "@S_PAYLOADS@")
set(unchecked "@unchecked@")
set(wrong_digests "@wrong@")
set(msiinfo "@ORBELLE_MSIINFO@")
set(stamp "@stamp@")
set(digests "@digests@")
]] @ONLY)
  add_custom_command(OUTPUT ${stamp} ${digests}
    COMMAND ${CMAKE_COMMAND} -DORBELLE_PAYLOAD_LIST=${list_file} -P ${ORBELLE_PAYLOAD_CHECKS}
    DEPENDS ${list_file} ${files} ${ORBELLE_PAYLOAD_CHECKS}
    COMMENT "Checking the payloads of ${target}"
    VERBATIM)
  set(${out} ${stamp} PARENT_SCOPE)
  set(${digests_out} ${digests} PARENT_SCOPE)
endfunction()

function(orbelle_add_launcher target)
  cmake_parse_arguments(L "" "OUTPUT_NAME;CONFIRM_TEXT;CONFIRM_CAPTION" "PAYLOADS;DEPENDS;UNCHECKED_PAYLOADS;WRONG_DIGESTS"
                        ${ARGN})
  string(REPLACE "." "," version_commas "${ORBELLE_LAUNCHER_VERSION}")
  get_filename_component(manifest "${ORBELLE_MANIFEST}" ABSOLUTE)
  # The manifest and the version information; payloads and strings follow.
  file(READ "${ORBELLE_RC_TEMPLATE}" rc_template)
  string(CONFIGURE "${rc_template}" rc @ONLY)
  set(payload_files "")
  set(carried "")
  foreach(entry IN LISTS L_PAYLOADS)
    string(FIND "${entry}" "=" eq)
    string(SUBSTRING "${entry}" 0 ${eq} name)
    math(EXPR from "${eq} + 1")
    string(SUBSTRING "${entry}" ${from} -1 file)
    if(file STREQUAL "")
      continue()
    endif()
    if(name MATCHES "^MSI(32|64)$")
      set(type MSI)
    else()
      set(type EXE)
    endif()
    string(APPEND rc "${name} ${type} \"${file}\"\n")
    list(APPEND payload_files "${file}")
    list(APPEND carried ${name} "${file}")
  endforeach()
  orbelle_payload_step(${target} checked digests PAYLOADS ${carried} UNCHECKED ${L_UNCHECKED_PAYLOADS}
                       WRONG_DIGESTS ${L_WRONG_DIGESTS})
  if(digests)
    string(APPEND rc "PAYLOAD_DIGESTS RCDATA \"${digests}\"\n")
  endif()
  if(DEFINED L_CONFIRM_TEXT OR DEFINED L_CONFIRM_CAPTION)
    string(APPEND rc "\nSTRINGTABLE\nBEGIN\n")
    if(DEFINED L_CONFIRM_TEXT)
      orbelle_rc_string(s "${L_CONFIRM_TEXT}")
      string(APPEND rc " 500, ${s}\n")
    endif()
    if(DEFINED L_CONFIRM_CAPTION)
      orbelle_rc_string(s "${L_CONFIRM_CAPTION}")
      string(APPEND rc " 501, ${s}\n")
    endif()
    string(APPEND rc "END\n")
  endif()
  set(rc_file ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc)
  file(GENERATE OUTPUT ${rc_file} CONTENT "${rc}")
  set_source_files_properties(${rc_file} PROPERTIES OBJECT_DEPENDS "${payload_files};${manifest};${checked}")
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${ORBELLE_RC_TEMPLATE}")

  add_executable(${target} WIN32
    ${PROJECT_SOURCE_DIR}/framework/entry.cpp
    ${PROJECT_SOURCE_DIR}/launcher/the_app.cpp
    ${PROJECT_SOURCE_DIR}/framework/lean_runtime.cpp
    ${rc_file} ${checked})
  target_compile_options(${target} PRIVATE ${ORBELLE_LEAN_FLAGS} -flto)
  target_link_libraries(${target} PRIVATE orbelle_launcher_lto)
  # The loader's mitigations, named although this linker sets them by default
  # (older ones did not): a random base address with the relocations it needs,
  # no execution of data, and on x86_64 the full 64-bit range for the base.
  # tests/product/check_executable.sh fails an image without them.
  target_link_options(${target} PRIVATE -municode -s -flto -Wl,--dynamicbase -Wl,--nxcompat)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    target_link_options(${target} PRIVATE -Wl,--high-entropy-va)
  endif()
  if(L_OUTPUT_NAME)
    set_target_properties(${target} PROPERTIES OUTPUT_NAME ${L_OUTPUT_NAME})
  endif()
  if(L_DEPENDS)
    add_dependencies(${target} ${L_DEPENDS})
  endif()
endfunction()
