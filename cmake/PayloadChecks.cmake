# Checks that a payload file can be what its resource says it is, so that a
# swapped package, a redistributable that is no program at all or a truncated
# download stops the build instead of reaching a customer's machine.
#
# Included by the project (configure time) and run as a script by the build
# step of each launcher (build time, for payloads this build makes itself):
#   cmake -DORBELLE_PAYLOAD_LIST=<payloads.cmake> -P PayloadChecks.cmake
# The list file sets `launcher`, `payloads` (<RESOURCE> <file> pairs),
# `unchecked` (resources the launcher deliberately carries unchecked),
# `msiinfo` and `stamp` (touched when every checked payload is right).
#
# What is checked, by resource type:
# - every payload: the file exists, is not a folder, and is not empty;
# - "MSI32", "MSI64": a compound file that msiinfo opens as a product package
#   (a ProductCode in its Property table) whose summary information names
#   the platform Intel (MSI32) or x64 (MSI64);
# - the "EXE" ones: a PE image whose sections all lie inside the file. Not
#   its architecture: a real 64-bit redistributable may be wrapped in a 32-bit
#   self-extractor.

if(CMAKE_SCRIPT_MODE_FILE)
  cmake_minimum_required(VERSION 3.25)
else()
  find_program(ORBELLE_MSIINFO msiinfo REQUIRED)
  set(msiinfo ${ORBELLE_MSIINFO})
endif()

# Little-endian number of <count> bytes at byte <at> of a hex dump.
function(_orbelle_le out hex at count)
  set(value "")
  math(EXPR last "${at} + ${count} - 1")
  foreach(i RANGE ${at} ${last})
    math(EXPR pos "${i} * 2")
    string(SUBSTRING "${hex}" ${pos} 2 byte)
    string(PREPEND value ${byte})
  endforeach()
  math(EXPR value "0x${value}")
  set(${out} ${value} PARENT_SCOPE)
endfunction()

# The section name at byte <at> of a hex dump of a section table (up to 8
# characters, NUL-padded).
function(_orbelle_section_name out hex at)
  set(name "")
  math(EXPR last "${at} + 7")
  foreach(i RANGE ${at} ${last})
    math(EXPR pos "${i} * 2")
    string(SUBSTRING "${hex}" ${pos} 2 byte)
    math(EXPR code "0x${byte}")
    if(code LESS 33 OR code GREATER 126)
      break()
    endif()
    string(ASCII ${code} char)
    string(APPEND name "${char}")
  endforeach()
  set(${out} "${name}" PARENT_SCOPE)
endfunction()

# A Windows program: the MZ header, the PE signature where it points, and
# every section's file data inside the file (a truncated download ends early).
function(_orbelle_program_problem out file size)
  set(problem "")
  file(READ "${file}" dos LIMIT 64 HEX)
  if(NOT dos MATCHES "^4d5a")
    set(problem "not a Windows program: it does not start with an MZ header")
  elseif(size LESS 64)
    set(problem "not a Windows program: ${size} bytes, shorter than an MZ header")
  else()
    _orbelle_le(pe_at "${dos}" 60 4)
    math(EXPR headers_end "${pe_at} + 24")
    if(headers_end GREATER size)
      set(problem "not a Windows program: its MZ header points to byte ${pe_at}, past the end of the file")
    else()
      file(READ "${file}" coff OFFSET ${pe_at} LIMIT 24 HEX)
      if(NOT coff MATCHES "^50450000")
        set(problem "not a Windows program: no PE signature where its MZ header points (byte ${pe_at})")
      else()
        _orbelle_le(sections "${coff}" 6 2)
        _orbelle_le(optional_size "${coff}" 20 2)
        math(EXPR table_at "${headers_end} + ${optional_size}")
        math(EXPR table_end "${table_at} + ${sections} * 40")
        if(table_end GREATER size)
          set(problem "a truncated Windows program: the file ends at byte ${size}, inside its section table")
        elseif(sections GREATER 0)
          math(EXPR table_size "${sections} * 40")
          file(READ "${file}" table OFFSET ${table_at} LIMIT ${table_size} HEX)
          math(EXPR last "${sections} - 1")
          foreach(i RANGE ${last})
            math(EXPR name_at "${i} * 40")
            math(EXPR size_at "${i} * 40 + 16")
            math(EXPR data_at "${i} * 40 + 20")
            _orbelle_le(raw_size "${table}" ${size_at} 4)
            _orbelle_le(raw_at "${table}" ${data_at} 4)
            math(EXPR raw_end "${raw_at} + ${raw_size}")
            if(raw_end GREATER size)
              _orbelle_section_name(section "${table}" ${name_at})
              set(problem "a truncated Windows program: the file ends at byte ${size}, before the end of its section \"${section}\" (byte ${raw_end})")
              break()
            endif()
          endforeach()
        endif()
      endif()
    endif()
  endif()
  set(${out} "${problem}" PARENT_SCOPE)
endfunction()

# A product package for the resource's platform. msiinfo reports a file it
# cannot open on standard error and still exits with 0, so its output is
# what counts.
function(_orbelle_package_problem out resource file)
  if(resource STREQUAL "MSI32")
    set(wanted Intel)
    set(wanted_text "Intel (32-bit Windows)")
  else()
    set(wanted x64)
    set(wanted_text "x64 (64-bit Windows)")
  endif()
  set(problem "")
  file(READ "${file}" magic LIMIT 8 HEX)
  if(NOT magic STREQUAL "d0cf11e0a1b11ae1")
    set(problem "not a Windows Installer package: it is not a compound file")
  else()
    execute_process(COMMAND ${msiinfo} suminfo "${file}" OUTPUT_VARIABLE summary ERROR_QUIET)
    if(NOT summary MATCHES "(^|\n)Template: ([^\n]*)")
      set(problem "not a Windows Installer package: msiinfo cannot read its summary information (a truncated download?)")
    else()
      set(template "${CMAKE_MATCH_2}")
      string(REGEX REPLACE ";.*" "" platform "${template}")
      string(STRIP "${platform}" platform)
      # A package that names no platform is for Intel.
      if(platform STREQUAL "")
        set(platform Intel)
      endif()
      execute_process(COMMAND ${msiinfo} export "${file}" Property
        OUTPUT_VARIABLE properties ERROR_QUIET RESULT_VARIABLE exported)
      if(NOT exported EQUAL 0 OR NOT properties MATCHES "(^|\n)ProductCode\t")
        set(problem "not a product package: msiinfo finds no ProductCode in its Property table (a merge module or a patch?)")
      elseif(NOT platform STREQUAL wanted)
        set(problem "a package for the platform \"${platform}\" (summary information Template \"${template}\"); ${resource} must be a package for ${wanted_text}")
      endif()
    endif()
  endif()
  set(${out} "${problem}" PARENT_SCOPE)
endfunction()

# orbelle_payload_problem(<out> <RESOURCE> <file>)
# Sets <out> to "" when <file> can be the payload of <RESOURCE>, else to what
# is wrong with it (one line, without the file name).
function(orbelle_payload_problem out resource file)
  set(problem "")
  if(NOT EXISTS "${file}")
    set(problem "the file does not exist")
  elseif(IS_DIRECTORY "${file}")
    set(problem "a folder, not a file")
  else()
    file(SIZE "${file}" size)
    if(size EQUAL 0)
      set(problem "the file is empty (0 bytes)")
    elseif(resource MATCHES "^MSI(32|64)$")
      _orbelle_package_problem(problem ${resource} "${file}")
    else()
      _orbelle_program_problem(problem "${file}" ${size})
    endif()
  endif()
  set(${out} "${problem}" PARENT_SCOPE)
endfunction()

# orbelle_require_payloads(<prefix> <RESOURCE> <file> [<RESOURCE> <file>...])
# Returns when every payload can be right; otherwise stops with one message
# that has a line "<prefix><RESOURCE> = <file>: <what is wrong>" for each
# payload that cannot.
function(orbelle_require_payloads prefix)
  set(lines "")
  set(pairs ${ARGN})
  while(pairs)
    list(POP_FRONT pairs resource file)
    orbelle_payload_problem(problem ${resource} "${file}")
    if(NOT problem STREQUAL "")
      # Indented lines are printed as they are, without rewrapping.
      string(APPEND lines "\n  ${prefix}${resource} = ${file}: ${problem}")
    endif()
  endwhile()
  if(NOT lines STREQUAL "")
    message(FATAL_ERROR "A payload cannot be right:${lines}")
  endif()
endfunction()

# The build step of a launcher.
if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  include(${ORBELLE_PAYLOAD_LIST})
  set(checked "")
  while(payloads)
    list(POP_FRONT payloads resource file)
    if(NOT resource IN_LIST unchecked)
      list(APPEND checked ${resource} "${file}")
    endif()
  endwhile()
  orbelle_require_payloads("${launcher} payload " ${checked})
  file(TOUCH ${stamp})
endif()
