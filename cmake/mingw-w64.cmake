# Cross-compiles for 64-bit Windows with MinGW-w64 (posix threads, for std::thread and
# std::mutex) against the libraries scripts/windows-toolchain.sh builds:
#   cmake -G Ninja -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
#         -DQUNA_WINDOWS_TOOLCHAIN=$(scripts/windows-toolchain.sh)
# QUNA_WINDOWS_TOOLCHAIN may also come from the environment.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(QUNA_MINGW_TRIPLE x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${QUNA_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QUNA_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${QUNA_MINGW_TRIPLE}-windres)

if(NOT QUNA_WINDOWS_TOOLCHAIN AND DEFINED ENV{QUNA_WINDOWS_TOOLCHAIN})
    set(QUNA_WINDOWS_TOOLCHAIN "$ENV{QUNA_WINDOWS_TOOLCHAIN}")
endif()
# try_compile projects read this file again; they need the same folders.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES QUNA_WINDOWS_TOOLCHAIN)

if(NOT QUNA_WINDOWS_TOOLCHAIN)
    message(FATAL_ERROR "QUNA_WINDOWS_TOOLCHAIN is not set: pass "
        "-DQUNA_WINDOWS_TOOLCHAIN=$(scripts/windows-toolchain.sh), the folder it prints")
endif()
# The marker is written last by the script, so a folder without it is a build that stopped.
if(NOT EXISTS "${QUNA_WINDOWS_TOOLCHAIN}/.complete")
    message(FATAL_ERROR "${QUNA_WINDOWS_TOOLCHAIN} is not a complete Windows toolchain cache; "
        "run scripts/windows-toolchain.sh")
endif()

set(QUNA_WINDOWS_PREFIXES
    "${QUNA_WINDOWS_TOOLCHAIN}/qt"
    "${QUNA_WINDOWS_TOOLCHAIN}/libzip"
    "${QUNA_WINDOWS_TOOLCHAIN}/googletest")
# Headers, libraries and CMake packages only from the MinGW-w64 sysroot and the cache, never
# from the host; programs (moc, rcc, uic, the compilers) from the host.
set(CMAKE_FIND_ROOT_PATH "/usr/${QUNA_MINGW_TRIPLE}" ${QUNA_WINDOWS_PREFIXES})
set(CMAKE_PREFIX_PATH ${QUNA_WINDOWS_PREFIXES})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# pkg-config (the project finds libzip with it) reads only the Windows .pc files, never the
# host's, whose libzip would otherwise be taken for the Windows one.
set(ENV{PKG_CONFIG_LIBDIR}
    "${QUNA_WINDOWS_TOOLCHAIN}/libzip/lib/pkgconfig:/usr/${QUNA_MINGW_TRIPLE}/lib/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")
unset(ENV{PKG_CONFIG_SYSROOT_DIR})
# The prefix of each .pc file is taken from where the file is, so a toolchain cache moved or
# copied to another folder still works.
set(PKG_CONFIG_ARGN --define-prefix)

# The cross-built Qt runs its tools from the host's Qt, the same release.
set(QT_HOST_PATH /usr)
set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake)

# Where the DLLs a Windows program built here needs are found (to run it under Wine through
# WINEPATH, or to put them beside it): Qt's, libzip's, zlib's and the compiler's runtime.
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libstdc++-6.dll
    OUTPUT_VARIABLE _quna_libstdcxx OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
get_filename_component(_quna_runtime_dir "${_quna_libstdcxx}" DIRECTORY)
set(QUNA_WINDOWS_DLL_DIRS
    "${QUNA_WINDOWS_TOOLCHAIN}/qt/bin"
    "${QUNA_WINDOWS_TOOLCHAIN}/libzip/bin"
    "${QUNA_WINDOWS_TOOLCHAIN}/bin"
    "${_quna_runtime_dir}"
    "/usr/${QUNA_MINGW_TRIPLE}/lib")
unset(_quna_libstdcxx)
unset(_quna_runtime_dir)
