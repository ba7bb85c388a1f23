# The Windows zip's imported target vistrak::core_graphics_sdl2: the DLL in bin\, its import
# library in lib\ (vistrak_core_graphics_sdl2.lib for Microsoft's linker,
# libvistrak_core_graphics_sdl2.dll.a for MinGW) and the header in include\; it links the
# tracker core library (vistrak::core64), which the package's configuration file finds first.
get_filename_component(_vt_zip "${CMAKE_CURRENT_LIST_DIR}/../../.." ABSOLUTE)
if(NOT TARGET vistrak::core_graphics_sdl2)
  add_library(vistrak::core_graphics_sdl2 SHARED IMPORTED)
  if(MSVC)
    set(_vt_import_library "${_vt_zip}/lib/vistrak_core_graphics_sdl2.lib")
  else()
    set(_vt_import_library "${_vt_zip}/lib/libvistrak_core_graphics_sdl2.dll.a")
  endif()
  set_target_properties(vistrak::core_graphics_sdl2 PROPERTIES
    IMPORTED_LOCATION "${_vt_zip}/bin/vistrak_core_graphics_sdl2.dll"
    IMPORTED_IMPLIB "${_vt_import_library}"
    INTERFACE_INCLUDE_DIRECTORIES "${_vt_zip}/include"
    INTERFACE_LINK_LIBRARIES vistrak::core64)
  unset(_vt_import_library)
endif()
unset(_vt_zip)
