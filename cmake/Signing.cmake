# Authenticode signing of the shipped launcher after it is linked.
#
#   -DORBELLE_SIGN_PKCS12=<file.p12>     the certificate and its private key
#   -DORBELLE_SIGN_TIMESTAMP_URL=<url>   optional RFC 3161 time-stamp server
#   ORBELLE_SIGN_PASSWORD=<password>     in the environment of the build, never
#                                        in the cache or on a command line
#
# osslsigncode signs with a SHA-256 digest (cmake/sign_launcher.sh). Without
# ORBELLE_SIGN_PKCS12 nothing is signed.
set(ORBELLE_SIGN_PKCS12 "" CACHE FILEPATH
    "PKCS#12 file to sign OrbelleSetup.exe with (password from the environment variable ORBELLE_SIGN_PASSWORD); empty: unsigned")
set(ORBELLE_SIGN_TIMESTAMP_URL "" CACHE STRING "RFC 3161 time-stamp server for the signature; empty: no time stamp")
set(ORBELLE_SIGN_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/sign_launcher.sh)

if(ORBELLE_SIGN_PKCS12)
  find_program(ORBELLE_OSSLSIGNCODE osslsigncode REQUIRED)
  if(NOT EXISTS "${ORBELLE_SIGN_PKCS12}" OR IS_DIRECTORY "${ORBELLE_SIGN_PKCS12}")
    message(FATAL_ERROR "ORBELLE_SIGN_PKCS12 = ${ORBELLE_SIGN_PKCS12}: the file does not exist")
  endif()
endif()

# orbelle_sign_after_build(<target>)
# With ORBELLE_SIGN_PKCS12 set, signs <target>'s executable in place each time
# it is linked; a launcher that cannot be signed is deleted, so that no build
# leaves an unsigned one where the signed one belongs.
function(orbelle_sign_after_build target)
  if(NOT ORBELLE_SIGN_PKCS12)
    return()
  endif()
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E env ORBELLE_OSSLSIGNCODE=${ORBELLE_OSSLSIGNCODE}
            ${ORBELLE_SIGN_SCRIPT} $<TARGET_FILE:${target}> ${ORBELLE_SIGN_PKCS12} ${ORBELLE_SIGN_TIMESTAMP_URL}
    COMMENT "Signing ${target}"
    VERBATIM)
endfunction()
