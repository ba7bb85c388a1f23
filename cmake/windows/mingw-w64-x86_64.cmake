# Cross-compiles for 64-bit Windows with Debian's mingw-w64 (posix thread model, for
# std::thread). The Windows dependencies' prefix, when given as VT_WINDOWS_DEPS (a cache
# variable or an environment variable), is searched beside the mingw sysroot and before it,
# so that its libraries win over the few the sysroot carries (as zlib).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VT_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VT_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VT_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${VT_MINGW_TRIPLET}-windres)

if(NOT VT_WINDOWS_DEPS AND DEFINED ENV{VT_WINDOWS_DEPS})
  set(VT_WINDOWS_DEPS "$ENV{VT_WINDOWS_DEPS}")
endif()
# try_compile projects read this file again: they need the prefix too.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES VT_WINDOWS_DEPS)

set(CMAKE_FIND_ROOT_PATH ${VT_WINDOWS_DEPS} /usr/${VT_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# pkg-config reads the prefix's .pc files only, never the build machine's.
if(VT_WINDOWS_DEPS)
  set(ENV{PKG_CONFIG_LIBDIR} "${VT_WINDOWS_DEPS}/lib/pkgconfig")
  set(ENV{PKG_CONFIG_PATH} "")
endif()
