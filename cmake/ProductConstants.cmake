# orbelle_write_product_constants(<output file>)
#
# Writes the product's names and numbers that the shell scripts need
# (scripts/demo) as a file for bash to source, read at configure time from
# the headers the launcher is built from. The scripts then cannot go on
# telling a story about a key, file or service the product no longer uses:
# a constant that is missing, declared twice or written in a form this reader
# does not know fails the configure with its name.
#
# Each shell variable has the name of its C++ constant (kDriverRoot), so that
# a search for the name finds both. Registry paths are relative to
# HKEY_LOCAL_MACHINE, as in the header. DEVICE_KEY_NAME is derived:
# FormatDeviceKeyName(ProductDeviceIdentifier()) (settings/device_reset.cpp).

set(ORBELLE_PRODUCT_CONSTANT_HEADERS
  ${CMAKE_CURRENT_LIST_DIR}/../launcher/product_constants.h
  ${CMAKE_CURRENT_LIST_DIR}/../settings/device_reset.h)

# The constants the scripts use, by kind.
set(ORBELLE_SHELL_STRINGS
  kTypeExe kTypeMsi kResUninst kResUninst2 kResRedist64 kResMsi32 kResMsi64
  kFileUninst kFileRedist32 kFileRedist64 kFilePackage
  kProductShortName kDriverGuid kDeviceMonitorService
  kDriverRoot kSettingsBackupPrefix kProductCodeValue kUninstallList
  kDisplayVersionValue kInstancesKey kAttachedKey kInitializedValue
  kInstallersFolder kMsiexec kRemovalArgsPrefix)
set(ORBELLE_SHELL_NUMBERS kIdsConfirmText kIdsConfirmCaption kPreviousProductCount)
set(ORBELLE_SHELL_STRING_LISTS kTrayHelperNames)

# The body of a wide string literal: characters other than the quote and the
# backslash, or a backslash and the character it escapes.
set(_orbelle_literal_body "(([^\"\\\\]|\\\\.)*)")
set(_orbelle_space "[ \t\n]*")

# _orbelle_declaration(<out> <source> <name>): the one line-leading
# "inline constexpr" declaration of <name> in <source>, from "inline" to its
# ";".
function(_orbelle_declaration out source name)
  string(REGEX MATCHALL "\ninline constexpr [^\n=]*[ *]${name}(\\[\\])?${_orbelle_space}=" heads "${source}")
  list(LENGTH heads count)
  if(NOT count EQUAL 1)
    list(JOIN ORBELLE_PRODUCT_CONSTANT_HEADERS ", " headers)
    message(FATAL_ERROR "Product constant ${name}: ${count} declarations in ${headers}; "
                        "the scripts need exactly one (cmake/ProductConstants.cmake)")
  endif()
  string(FIND "${source}" "${heads}" start)
  string(SUBSTRING "${source}" ${start} -1 rest)
  # The declaration ends at the first ";" outside a literal.
  string(REGEX MATCH "^([^\";]|\"${_orbelle_literal_body}\")*;" declaration "${rest}")
  if(declaration STREQUAL "")
    message(FATAL_ERROR "Product constant ${name}: its declaration does not end")
  endif()
  string(SUBSTRING "${declaration}" 1 -1 declaration)
  set(${out} "${declaration}" PARENT_SCOPE)
endfunction()

# _orbelle_decode(<out> <name> <literal body>): the literal's text. Only the
# escapes the header uses are known; any other fails, rather than be decoded
# wrongly.
function(_orbelle_decode out name body)
  # Left to right, as the compiler reads them: L"\\n" is a backslash and an n.
  string(REGEX REPLACE "\\\\[\\\\\"']" "" unknown "${body}")
  if(unknown MATCHES "(\\\\.?)")
    message(FATAL_ERROR "Product constant ${name}: escape ${CMAKE_MATCH_1} is not one the scripts can take "
                        "(cmake/ProductConstants.cmake knows \\\\, \\\" and \\')")
  endif()
  string(REGEX REPLACE "\\\\(.)" "\\1" text "${body}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# _orbelle_shell_word(<out> <text>): <text> in single quotes for bash.
function(_orbelle_shell_word out text)
  string(REPLACE "'" "'\\''" quoted "${text}")
  set(${out} "'${quoted}'" PARENT_SCOPE)
endfunction()

# _orbelle_declared_as(<out> <source> <name> <what> <regex>): the first group
# of <regex> matched against <name>'s declaration; fails the configure,
# saying that <name> is not <what>, when the declaration does not match.
function(_orbelle_declared_as out source name what regex)
  _orbelle_declaration(declaration "${source}" ${name})
  if(NOT declaration MATCHES "${regex}")
    message(FATAL_ERROR "Product constant ${name} is not ${what}: ${declaration}")
  endif()
  set(${out} "${CMAKE_MATCH_1}" PARENT_SCOPE)
endfunction()

function(_orbelle_string_constant out source name)
  _orbelle_declared_as(body "${source}" ${name} "one wide string literal"
    "^inline constexpr wchar_t ${name}\\[\\]${_orbelle_space}=${_orbelle_space}L\"${_orbelle_literal_body}\"${_orbelle_space};$")
  _orbelle_decode(text ${name} "${body}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

function(_orbelle_number_constant out source name)
  _orbelle_declared_as(literal "${source}" ${name} "one integer literal"
    "=${_orbelle_space}(0[xX][0-9A-Fa-f]+|[1-9][0-9]*|0)[uU]?${_orbelle_space};$")
  math(EXPR value "${literal}")
  set(${out} "${value}" PARENT_SCOPE)
endfunction()

# Sets <out> to the shell words of the list's literals.
function(_orbelle_string_list_constant out source name)
  _orbelle_declared_as(items "${source}" ${name} "a list of wide string literals"
    "^inline constexpr const wchar_t\\* ${name}\\[\\]${_orbelle_space}=${_orbelle_space}{(.*)}${_orbelle_space};$")
  set(words "")
  while(NOT items MATCHES "^[ \t\n]*$")
    if(NOT items MATCHES "^${_orbelle_space}L\"${_orbelle_literal_body}\"${_orbelle_space}(,|$)(.*)$")
      message(FATAL_ERROR "Product constant ${name}: not a wide string literal at: ${items}")
    endif()
    set(items "${CMAKE_MATCH_4}")
    _orbelle_decode(text ${name} "${CMAKE_MATCH_1}")
    _orbelle_shell_word(word "${text}")
    string(APPEND words " ${word}")
  endwhile()
  string(STRIP "${words}" words)
  set(${out} "${words}" PARENT_SCOPE)
endfunction()

# _orbelle_device_key_name(<out> <source>): the 16 bytes of the device
# identifier (signature, USB vendor id, USB product id, trailer, each a
# little-endian 32-bit field) as upper-case hexadecimal digit pairs, as
# FormatDeviceKeyName makes them with kDeviceKeyNameFormat.
function(_orbelle_device_key_name out source)
  _orbelle_string_constant(format "${source}" kDeviceKeyNameFormat)
  string(REPEAT "%02X" 16 expected)
  if(NOT format STREQUAL expected)
    message(FATAL_ERROR "kDeviceKeyNameFormat is \"${format}\": cmake/ProductConstants.cmake derives the device key "
                        "name as sixteen \"%02X\" and must learn the new form")
  endif()
  set(name "")
  foreach(field kDeviceIdentifierSignature kUsbVendorId kUsbProductId kDeviceIdentifierTrailer)
    _orbelle_number_constant(value "${source}" ${field})
    foreach(shift 0 8 16 24)
      math(EXPR byte "(${value} >> ${shift}) & 0xFF")
      math(EXPR byte "${byte} + 256" OUTPUT_FORMAT HEXADECIMAL)
      string(SUBSTRING "${byte}" 3 2 digits)
      string(TOUPPER "${digits}" digits)
      string(APPEND name "${digits}")
    endforeach()
  endforeach()
  set(${out} "${name}" PARENT_SCOPE)
endfunction()

function(orbelle_write_product_constants output)
  set(source "")
  set(names "")
  foreach(header IN LISTS ORBELLE_PRODUCT_CONSTANT_HEADERS)
    get_filename_component(header "${header}" ABSOLUTE)
    file(READ "${header}" text)
    string(APPEND source "\n${text}")
    file(RELATIVE_PATH name "${CMAKE_SOURCE_DIR}" "${header}")
    list(APPEND names "${name}")
    if(NOT CMAKE_SCRIPT_MODE_FILE)
      # A changed header reconfigures at the next build, so the file follows it.
      set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${header}")
    endif()
  endforeach()
  list(JOIN names " and " names)
  set(content "# Generated from ${names} by cmake/ProductConstants.cmake at configure time: do not edit.\n")
  string(APPEND content "# shellcheck shell=bash disable=SC2034\n")
  foreach(name IN LISTS ORBELLE_SHELL_STRINGS)
    _orbelle_string_constant(text "${source}" ${name})
    _orbelle_shell_word(word "${text}")
    string(APPEND content "${name}=${word}\n")
  endforeach()
  foreach(name IN LISTS ORBELLE_SHELL_NUMBERS)
    _orbelle_number_constant(value "${source}" ${name})
    string(APPEND content "${name}=${value}\n")
  endforeach()
  foreach(name IN LISTS ORBELLE_SHELL_STRING_LISTS)
    _orbelle_string_list_constant(words "${source}" ${name})
    string(APPEND content "${name}=(${words})\n")
  endforeach()
  _orbelle_device_key_name(device_key "${source}")
  string(APPEND content "DEVICE_KEY_NAME='${device_key}'\n")
  file(WRITE "${output}" "${content}")
endfunction()
