# The layers' include paths reach only what each layer links
# (cmake/Layers.cmake): a table of probe files, each compiled (syntax only)
# with the exact command line of one source file of the tree, from the tree's
# compile_commands.json. An include of a header whose target the source's
# target does not link must fail with that header's name; an include along a
# named edge must compile. Natively, in seconds. Usage:
#   cmake -DTREE=<build tree> -DSOURCE=<source dir> -DSCRATCH=<dir> -P layer_includes_test.cmake

# Each case: <source file whose command line is used>|<probe text>|<expectation>,
# the expectation "compiles" or "fails: <text in the compiler's messages>"; a
# "%" in a probe stands for ";", which would end a list element here.
set(cases
  # Staging: on the framework and the two named launcher headers only.
  [[staging/payload.cpp|#include "launcher/command_line.h"|fails: launcher/command_line.h: No such file]]
  [[staging/payload.cpp|#include "launcher/single_run.h"|fails: launcher/single_run.h: No such file]]
  [[staging/payload.cpp|#include "settings/driver_keys.h"|fails: settings/driver_keys.h: No such file]]
  [[staging/payload.cpp|#include "prepare/tray_helpers.h"|fails: prepare/tray_helpers.h: No such file]]
  [[staging/payload.cpp|#include "registry/registry_key.h"|fails: registry/registry_key.h: No such file]]
  [[staging/payload.cpp|#include "launcher/installer_launcher.h"|compiles]]
  [[staging/payload.cpp|#include "launcher/product_constants.h"
#include "launcher/exit_codes.h"|compiles]]
  [[staging/payload.cpp|#include "framework/run_log.h"|compiles]]
  # The registry and the framework name nothing of the product.
  [[registry/registry_key.cpp|#include "launcher/product_constants.h"|fails: launcher/product_constants.h: No such file]]
  [[registry/registry_key.cpp|#include "staging/payload.h"|fails: staging/payload.h: No such file]]
  [[registry/registry_key.cpp|#include "framework/wow64_query.h"|compiles]]
  [[framework/run_log.cpp|#include "registry/registry_key.h"|fails: registry/registry_key.h: No such file]]
  [[framework/run_log.cpp|#include "launcher/exit_codes.h"|fails: launcher/exit_codes.h: No such file]]
  # Settings: on the registry.
  [[settings/driver_keys.cpp|#include "registry/registry_tree.h"|compiles]]
  [[settings/driver_keys.cpp|#include "staging/child_process.h"|fails: staging/child_process.h: No such file]]
  [[settings/driver_keys.cpp|#include "launcher/installer_launcher.h"|fails: launcher/installer_launcher.h: No such file]]
  # Prepare: on staging, and down to the registry.
  [[prepare/previous_products.cpp|#include "registry/registry_key.h"|compiles]]
  [[prepare/previous_products.cpp|#include "staging/child_process.h"|compiles]]
  [[prepare/previous_products.cpp|#include "settings/driver_keys.h"|fails: settings/driver_keys.h: No such file]]
  [[prepare/previous_products.cpp|#include "launcher/command_line.h"|fails: launcher/command_line.h: No such file]]
  # The launcher on top reaches every layer; no product code reaches the tests.
  [[launcher/installer_launcher.cpp|#include "prepare/tray_helpers.h"
#include "settings/settings_backup.h"|compiles]]
  [[launcher/installer_launcher.cpp|#include "tests/support/test_support.h"|fails: tests/support/test_support.h: No such file]]
  # A test program reaches what it links: a registry test no other layer.
  [[tests/registry/registry_key_test.cpp|#include "staging/payload.h"|fails: staging/payload.h: No such file]]
  [[tests/registry/registry_key_test.cpp|#include "registry/registry_tree.h"
#include "tests/support/test_support.h"|compiles]]
  # Test seams: product code cannot install an override (framework/test_seam.h).
  [[staging/payload.cpp|#include "framework/test_seam.h"
void Real() {}
Seam<void (*)()> seam(&Real)%
void Install() { ScopedOverride<void (*)()> override(seam, &Real)% }|fails: ScopedOverride]]
  [[tests/staging/work_folder_test.cpp|#include "framework/test_seam.h"
void Real() {}
Seam<void (*)()> seam(&Real)%
void Install() { ScopedOverride<void (*)()> override(seam, &Real)% }|compiles]])

file(READ ${TREE}/compile_commands.json database)
string(JSON entries LENGTH "${database}")
math(EXPR last "${entries} - 1")

# _command_of(<out_args> <out_dir> <source>): the argument list and working
# folder of the first compile command of <source> (relative to SOURCE).
function(_command_of out_args out_dir source)
  foreach(i RANGE ${last})
    string(JSON file GET "${database}" ${i} file)
    if(file STREQUAL "${SOURCE}/${source}")
      string(JSON command GET "${database}" ${i} command)
      string(JSON directory GET "${database}" ${i} directory)
      separate_arguments(args UNIX_COMMAND "${command}")
      set(${out_args} "${args}" PARENT_SCOPE)
      set(${out_dir} "${directory}" PARENT_SCOPE)
      return()
    endif()
  endforeach()
  set(${out_args} "" PARENT_SCOPE)
endfunction()

file(REMOVE_RECURSE ${SCRATCH})
file(MAKE_DIRECTORY ${SCRATCH})
set(failed 0)
set(n 0)
foreach(entry IN LISTS cases)
  math(EXPR n "${n} + 1")
  string(FIND "${entry}" "|" first)
  string(FIND "${entry}" "|" second REVERSE)
  string(SUBSTRING "${entry}" 0 ${first} source)
  math(EXPR from "${first} + 1")
  math(EXPR length "${second} - ${from}")
  string(SUBSTRING "${entry}" ${from} ${length} probe)
  math(EXPR from "${second} + 1")
  string(SUBSTRING "${entry}" ${from} -1 expect)
  string(REPLACE "%" ";" probe "${probe}")
  string(REPLACE "\n" " / " story "${source}: ${probe}")

  _command_of(args directory ${source})
  if(NOT args)
    message("FAIL: ${story}: no compile command for ${source} in ${TREE}")
    math(EXPR failed "${failed} + 1")
    continue()
  endif()
  # The source's command line with the probe in place of the source, checked
  # for syntax only: no "-o <object>", no "-c <source>", and no dependency
  # file that would overwrite the object's.
  set(probe_file ${SCRATCH}/probe${n}.cpp)
  file(WRITE ${probe_file} "${probe}\n")
  set(command "")
  set(skip 0)
  foreach(arg IN LISTS args)
    if(skip)
      set(skip 0)
    elseif(arg MATCHES "^-(o|c|MT|MF|MQ)$")
      set(skip 1)
    elseif(NOT arg MATCHES "^-M(M)?D$")
      list(APPEND command "${arg}")
    endif()
  endforeach()
  execute_process(COMMAND ${command} -fsyntax-only ${probe_file}
    WORKING_DIRECTORY ${directory} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(expect STREQUAL "compiles")
    if(rc EQUAL 0)
      message("ok: ${story}: compiles")
    else()
      message("FAIL: ${story}: expected it to compile, got:\n${out}")
      math(EXPR failed "${failed} + 1")
    endif()
  else()
    string(REGEX REPLACE "^fails: " "" text "${expect}")
    string(FIND "${out}" "${text}" at)
    if(NOT rc EQUAL 0 AND at GREATER -1)
      message("ok: ${story}: refused (${text})")
    else()
      message("FAIL: ${story}: expected a failure naming \"${text}\", got (exit ${rc}):\n${out}")
      math(EXPR failed "${failed} + 1")
    endif()
  endif()
endforeach()
if(failed GREATER 0)
  message(FATAL_ERROR "${failed} of ${n} cases failed")
endif()
message("all ${n} cases passed")
