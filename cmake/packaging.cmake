# Packages (./run package): the lab's package of the graphics library, and a separate demo
# package with the stand-in core library, its simulated tracker and the demo, installed apart
# from the system's library folders so that the stand-in never shadows a lab's real core.
# cpack makes one of them per run, chosen with -D VT_PACKAGE=lab|demo (see ./run).
set(VT_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/vistrak-core-graphics-sdl2)
# The notices follow what the library links, read from the built library when it is installed.
install(CODE "
  execute_process(COMMAND ${PROJECT_SOURCE_DIR}/cmake/third_party_notices.sh linux
                          $<TARGET_FILE:vistrak_core_graphics_sdl2>
                  OUTPUT_FILE ${PROJECT_BINARY_DIR}/THIRD_PARTY_NOTICES RESULT_VARIABLE made)
  if(NOT made EQUAL 0)
    message(FATAL_ERROR \"the third-party notices could not be gathered\")
  endif()" COMPONENT graphics)
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_SOURCE_DIR}/CHANGELOG.md
        ${PROJECT_BINARY_DIR}/THIRD_PARTY_NOTICES
        DESTINATION ${VT_DOC_DIR} COMPONENT graphics)

# The demo package's own: the licence, and the notices of what the stand-in and the demo link.
set(VT_DEMO_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/vistrak-core-graphics-sdl2-demo)
file(MAKE_DIRECTORY ${PROJECT_BINARY_DIR}/demo)
install(CODE "
  execute_process(COMMAND ${PROJECT_SOURCE_DIR}/cmake/third_party_notices.sh linux-demo
                          $<TARGET_FILE:vistrak_core64> $<TARGET_FILE:vistrak_demo>
                  OUTPUT_FILE ${PROJECT_BINARY_DIR}/demo/THIRD_PARTY_NOTICES RESULT_VARIABLE made)
  if(NOT made EQUAL 0)
    message(FATAL_ERROR \"the demo's third-party notices could not be gathered\")
  endif()" COMPONENT demo)
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_BINARY_DIR}/demo/THIRD_PARTY_NOTICES
        DESTINATION ${VT_DEMO_DOC_DIR} COMPONENT demo)

# The demo finds the stand-in core beside it, wherever the demo package is unpacked, and the
# graphics library where the lab's archive lies unpacked beside the demo's (the two folders
# side by side) or under it (the demo's archive unpacked into the lab's); the lab's .deb is on
# the system's path. RPATH rather than RUNPATH, so that the graphics library's own search
# finds the stand-in too.
set(VT_LAB_ARCHIVE vistrak-core-graphics-sdl2-${PROJECT_VERSION}-linux-x86_64)
set_target_properties(vistrak_demo PROPERTIES INSTALL_RPATH
  "$ORIGIN/../${CMAKE_INSTALL_LIBDIR};$ORIGIN/../../${VT_LAB_ARCHIVE}/${CMAKE_INSTALL_LIBDIR}")
target_link_options(vistrak_demo PRIVATE -Wl,--disable-new-dtags)
install(TARGETS vistrak_demo RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT demo)

set(CPACK_PACKAGE_NAME vistrak-core-graphics-sdl2)
set(CPACK_PACKAGE_VENDOR "the vistrak_core_graphics_sdl2 authors")
set(CPACK_PACKAGE_CONTACT "the vistrak_core_graphics_sdl2 authors <vistrak@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "SDL2 graphics plug-in of the Vistrak eye-tracker host library")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_GENERATOR "DEB;TGZ")
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
set(CPACK_COMPONENTS_ALL graphics)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The binaries ship stripped (the lab's .deb by the step below, the rest by CPACK_STRIP_FILES);
# the lab package's debug information goes into a package of its own,
# <name>_<version>_amd64-dbgsym.ddeb, as /usr/lib/debug/.build-id/<id>.debug files, which gdb
# finds by the library's build id (the archive's stripped library has the same id).
set(CPACK_DEBIAN_DEBUGINFO_PACKAGE ON)
# The library links the core library, which is the lab's own and no Debian package.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${PROJECT_BINARY_DIR})
# Loaded at run time for PNG, JPEG and WBMP screen images (BMP without it).
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libgd3")
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_BINARY_DIR}/packaging/cpack_choice.cmake)
file(WRITE ${CPACK_PROJECT_CONFIG_FILE} "\
# Read by cpack: VT_PACKAGE=demo makes the demo package instead of the lab's.
if(VT_PACKAGE STREQUAL \"demo\")
  set(CPACK_PACKAGE_NAME vistrak-core-graphics-sdl2-demo)
  set(CPACK_COMPONENTS_ALL core_standin demo)
  set(CPACK_PACKAGING_INSTALL_PREFIX /opt/vistrak-core-graphics-sdl2-demo)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS \"vistrak-core-graphics-sdl2 (= ${PROJECT_VERSION})\")
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS OFF)
  set(CPACK_DEBIAN_DEBUGINFO_PACKAGE OFF)
  set(CPACK_STRIP_FILES ON)
endif()
set(CPACK_PACKAGE_FILE_NAME \${CPACK_PACKAGE_NAME}-${PROJECT_VERSION}-linux-x86_64)
set(CPACK_DEBIAN_FILE_NAME \${CPACK_PACKAGE_NAME}_${PROJECT_VERSION}_amd64.deb)
set(CPACK_ARCHIVE_FILE_NAME \${CPACK_PACKAGE_FILE_NAME})
# The archive holds one folder of that name, laid out as an installed prefix.
if(CPACK_GENERATOR STREQUAL \"TGZ\")
  set(CPACK_PACKAGING_INSTALL_PREFIX /\${CPACK_PACKAGE_FILE_NAME})
  set(CPACK_STRIP_FILES ON)
endif()
")
include(CPack)
