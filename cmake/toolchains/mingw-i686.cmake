set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR X86)
set(MINGW_TRIPLE i686-w64-mingw32)
# The -posix thread model: GoogleTest needs std::mutex, which the -win32 model lacks.
set(CMAKE_C_COMPILER ${MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# wine64 hands 32-bit programs to the 32-bit loader itself; starting them with
# "wine" would put the 32-bit loader in front of every 64-bit child too.
set(WINE_LOADER /usr/lib/wine/wine64)
# On 32-bit Windows (a win32 prefix) only the 32-bit loader runs programs.
set(WINE32_LOADER /usr/lib/wine/wine)
