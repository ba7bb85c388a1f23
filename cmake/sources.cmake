# The system being built for, as the platform services' file names spell it.
if(WIN32)
  set(VT_SYSTEM windows)
  set(VT_OTHER_SYSTEM linux)
else()
  set(VT_SYSTEM linux)
  set(VT_OTHER_SYSTEM windows)
endif()

# vt_system_sources(<variable> <glob>...): the files matching the globs, each file of a
# per-system service (name_linux.cpp, name_windows.cpp) only for the system being built.
function(vt_system_sources variable)
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${ARGN})
  list(FILTER sources EXCLUDE REGEX "_${VT_OTHER_SYSTEM}\\.cpp$")
  set(${variable} ${sources} PARENT_SCOPE)
endfunction()

# vt_graphics_sources(<variable> <source folder>): the graphics library's sources.
function(vt_graphics_sources variable folder)
  vt_system_sources(sources ${folder}/src/*.cpp)
  set(${variable} ${sources} PARENT_SCOPE)
endfunction()
