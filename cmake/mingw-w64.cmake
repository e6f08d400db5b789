# Cross-building for 64-bit Windows with Debian's MinGW-w64 (the -posix
# compilers: std::thread and std::jthread), the programs and the tests run
# under Wine (cmake/wine-run), headless.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)

set(GLIMMER_MINGW x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${GLIMMER_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${GLIMMER_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${GLIMMER_MINGW}-windres)

# The cross-built libraries (scripts/windows-deps) and the compiler's own,
# never the machine's.
set(GLIMMER_WINDOWS_DEPS "${CMAKE_CURRENT_LIST_DIR}/../build/windows/deps" CACHE PATH
    "libdeflate and libjpeg-turbo built for Windows (scripts/windows-deps)")
set(CMAKE_FIND_ROOT_PATH /usr/${GLIMMER_MINGW} ${GLIMMER_WINDOWS_DEPS})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/wine-run")
