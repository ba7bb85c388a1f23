# The Windows test programs run under Wine: CTest starts each through wine_test.sh (made here
# from wine_test.sh.in), which gives it the build's own Wine prefix and finds its DLLs in the
# build folder and the dependencies' prefix.
find_program(VT_WINE NAMES wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
find_program(VT_WINE NAMES wine64 wine REQUIRED)
set(VT_WINE_PREFIX ${PROJECT_BINARY_DIR}/wine-tests)
set(VT_WINE_DLL_DIRS "Z:${PROJECT_BINARY_DIR};Z:${VT_WINDOWS_DEPS}/bin")
string(REPLACE "/" "\\\\" VT_WINE_DLL_DIRS "${VT_WINE_DLL_DIRS}")
configure_file(${CMAKE_CURRENT_LIST_DIR}/wine_test.sh.in ${PROJECT_BINARY_DIR}/wine_test.sh
               @ONLY FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
               GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
file(WRITE ${PROJECT_BINARY_DIR}/alsa-null.conf
     "</usr/share/alsa/alsa.conf>\npcm.!default { type null }\n")
set(CMAKE_CROSSCOMPILING_EMULATOR ${PROJECT_BINARY_DIR}/wine_test.sh)
