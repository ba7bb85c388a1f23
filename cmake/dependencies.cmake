# The libraries the graphics library builds on, found the same way by the main build and
# by the fuzz harnesses' own project.
find_package(PkgConfig REQUIRED)
pkg_check_modules(SDL2 REQUIRED IMPORTED_TARGET sdl2)
pkg_check_modules(SDL2_TTF REQUIRED IMPORTED_TARGET SDL2_ttf)
pkg_check_modules(SDL2_MIXER REQUIRED IMPORTED_TARGET SDL2_mixer)
pkg_check_modules(SDL2_GFX REQUIRED IMPORTED_TARGET SDL2_gfx)
find_package(Threads REQUIRED)
# FFmpeg reads the video targets on every system (on Windows the build of
# cmake/windows/build_dependencies.sh).
pkg_check_modules(FFMPEG REQUIRED IMPORTED_TARGET libavformat libavcodec libswscale
                  libswresample libavutil)
# The system's own services behind src/platform: fonts through fontconfig on Linux; on Windows
# the Win32 services (waveOut and PlaySound).
if(WIN32)
  set(VT_SYSTEM_LIBRARIES PkgConfig::FFMPEG winmm)
else()
  pkg_check_modules(FONTCONFIG REQUIRED IMPORTED_TARGET fontconfig)
  set(VT_SYSTEM_LIBRARIES PkgConfig::FONTCONFIG PkgConfig::FFMPEG ${CMAKE_DL_LIBS})
endif()
