# Cross build for 64-bit Windows with MinGW-w64 (Debian's g++-mingw-w64-x86-64-posix).
# The posix-threads variant is the one whose libstdc++ has std::thread and std::mutex.
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
# The static libraries come from scripts/build-win-deps.sh; their prefix defaults to
# build-win/deps in the source tree and can be moved with -DSTICKFORGE_WIN_DEPS=<prefix>
# or the STICKFORGE_WIN_DEPS environment variable.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(MINGW_HOST x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${MINGW_HOST}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MINGW_HOST}-g++-posix)
set(CMAKE_RC_COMPILER ${MINGW_HOST}-windres)

if(NOT STICKFORGE_WIN_DEPS)
  if(DEFINED ENV{STICKFORGE_WIN_DEPS})
    set(STICKFORGE_WIN_DEPS $ENV{STICKFORGE_WIN_DEPS})
  else()
    get_filename_component(STICKFORGE_WIN_DEPS ${CMAKE_CURRENT_LIST_DIR}/../build-win/deps
                           ABSOLUTE)
  endif()
endif()
set(STICKFORGE_WIN_DEPS ${STICKFORGE_WIN_DEPS} CACHE PATH "Prefix of the static Windows libraries")
# CMake's compiler checks run in separate projects that only see listed variables.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES STICKFORGE_WIN_DEPS)

set(CMAKE_FIND_ROOT_PATH ${STICKFORGE_WIN_DEPS} /usr/${MINGW_HOST})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Only the cross libraries, never the build machine's; --static brings in what the static
# libraries need themselves (Libs.private).
set(ENV{PKG_CONFIG_LIBDIR} ${STICKFORGE_WIN_DEPS}/lib/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")
set(PKG_CONFIG_ARGN --static)

# One self-contained .exe: no MinGW runtime DLLs to ship beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
