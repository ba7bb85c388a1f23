# The system being built for, as the platform services' file names spell it.
if(WIN32)
  set(VT_SYSTEM windows)
else()
  set(VT_SYSTEM linux)
endif()

# vt_graphics_sources(<variable> <source folder>): the graphics library's sources for the
# system being built, each platform service with its implementation for this system only.
function(vt_graphics_sources variable folder)
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${folder}/src/*.cpp)
  if(WIN32)
    list(FILTER sources EXCLUDE REGEX "_linux\\.cpp$")
  else()
    list(FILTER sources EXCLUDE REGEX "_windows\\.cpp$")
  endif()
  set(${variable} ${sources} PARENT_SCOPE)
endfunction()
