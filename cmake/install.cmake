# Install rules: the graphics library (component "graphics") and the stand-in core library
# (component "core_standin"), each with its headers, a pkg-config file and a CMake package.
# The package files are relocatable: they find the prefix from where they are installed.
include(CMakePackageConfigHelpers)

# pkg-config files reach the prefix through ${pcfiledir}; these are the steps from there.
file(RELATIVE_PATH VT_PC_TO_PREFIX ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig ${CMAKE_INSTALL_PREFIX})
string(REGEX REPLACE "/$" "" VT_PC_TO_PREFIX ${VT_PC_TO_PREFIX})
file(RELATIVE_PATH VT_PC_LIBDIR ${CMAKE_INSTALL_PREFIX} ${CMAKE_INSTALL_FULL_LIBDIR})
file(RELATIVE_PATH VT_PC_INCLUDEDIR ${CMAKE_INSTALL_PREFIX} ${CMAKE_INSTALL_FULL_INCLUDEDIR})

# vt_install_package(<target> <component>): the target's library and headers, and the package
# of the same name: <target>.pc and the CMake configuration <target>Config.cmake, made from the
# templates of those names in cmake/.
function(vt_install_package package component)
  install(TARGETS ${package} EXPORT ${package}Targets
          LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT ${component}
          PUBLIC_HEADER DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT ${component}
          INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

  set(cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/${package})
  install(EXPORT ${package}Targets NAMESPACE vistrak:: DESTINATION ${cmake_dir}
          COMPONENT ${component})
  set(generated ${PROJECT_BINARY_DIR}/packaging/${package})
  configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/${package}Config.cmake.in
                                ${generated}/${package}Config.cmake
                                INSTALL_DESTINATION ${cmake_dir})
  write_basic_package_version_file(${generated}/${package}ConfigVersion.cmake
                                   COMPATIBILITY SameMajorVersion)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/${package}.pc.in ${generated}/${package}.pc @ONLY)
  install(FILES ${generated}/${package}Config.cmake ${generated}/${package}ConfigVersion.cmake
          DESTINATION ${cmake_dir} COMPONENT ${component})
  install(FILES ${generated}/${package}.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
          COMPONENT ${component})
endfunction()

vt_install_package(vistrak_core64 core_standin)
vt_install_package(vistrak_core_graphics_sdl2 graphics)
