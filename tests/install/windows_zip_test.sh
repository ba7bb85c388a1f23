#!/usr/bin/env bash
# The Windows zips as a lab installs them: unpacked into an empty folder, bin\ holds no mingw
# runtime DLL and no module imports one; each module carries the project's version resource,
# as Windows reads it; the Microsoft-format import library names the 23 exports; a small C
# program built with mingw-w64 from include\ and lib\ alone runs a calibration screen under a
# fresh Wine prefix, with the demo zip's stand-in core beside it, and so do the same program
# built through the zip's CMake package and its object linked by lld against that import
# library.
#   windows_zip_test.sh <folder of the zips> <version>
set -euo pipefail
[ $# -eq 2 ] || { echo "usage: $0 <folder of the zips> <version>" >&2; exit 2; }
here="$(cd "$(dirname "$0")" && pwd)"
packages="$(cd "$1" && pwd)" version="$2"
name="vistrak_core_graphics_sdl2-$version-win64"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
fail() { echo "windows_zip_test: $*" >&2; exit 1; }
say() { echo "windows_zip_test: $*"; }

cd "$work"
cmake -E tar xf "$packages/$name.zip"
cmake -E tar xf "$packages/$name-demo.zip"
lab="$work/$name" demo="$work/$name-demo"

runtime='^(libstdc\+\+|libgcc|libwinpthread)'
if ls "$lab/bin" | grep -E -i "$runtime"; then fail "a mingw runtime DLL in bin"; fi
for module in "$lab"/bin/*.dll "$demo/bin/vistrak_core64.dll" "$demo/bin/vistrak_demo.exe"; do
  imports="$(x86_64-w64-mingw32-objdump -p "$module" | sed -n 's/^[[:space:]]*DLL Name: //p')"
  if echo "$imports" | grep -E -i "$runtime"; then fail "$(basename "$module") imports it"; fi
done
say "no mingw runtime DLL in bin or among the imports"

# The version resource as Windows reads it (Explorer's Details): the project's, in each module.
x86_64-w64-mingw32-gcc-posix -std=c99 -Wall -Wextra -Werror "$here/consumer/version_info.c" \
  -lversion -o version_info.exe
for module in "$lab/bin/vistrak_core_graphics_sdl2.dll" "$demo/bin/vistrak_core64.dll" \
              "$demo/bin/vistrak_demo.exe"; do
  read_values="$(WINEPREFIX="$work/wine" WINEDEBUG=-all /usr/lib/wine/wine64 version_info.exe \
    "Z:$module" 2>&1 | tr -d '\r')" || true
  for expected in "ProductName: vistrak_core_graphics_sdl2" "FileVersion: $version" \
                  "ProductVersion: $version" "OriginalFilename: $(basename "$module")" \
                  "CompanyName: the vistrak_core_graphics_sdl2 authors"; do
    echo "$read_values" | grep -qxF "$expected" ||
      fail "$(basename "$module"): no \"$expected\" in its version resource:"$'\n'"$read_values"
  done
  echo "$read_values" | grep -q '^FileDescription: .*Vistrak' ||
    fail "$(basename "$module"): not the project's file description:"$'\n'"$read_values"
done
say "version resources read through the version API: vistrak_core_graphics_sdl2 $version"

# Every licence text a notice names by path is carried in the same file.
for notices in "$lab/THIRD_PARTY_NOTICES" "$demo/THIRD_PARTY_NOTICES"; do
  [ -s "$notices" ] || fail "no $notices"
  for licence in $(grep -o '/usr/share/common-licenses/[A-Za-z0-9.+-]*' "$notices" |
                   sed 's/\.*$//' | sort -u); do
    grep -qxF "$licence (referred to above)" "$notices" ||
      fail "$notices names $licence without its text"
  done
done
say "both zips carry their notices with every licence text they name"

# FFmpeg's DLLs are in bin, the DLL imports them, the notices say how they were built (LGPL,
# no GPL part) and the source zip beside the package holds their source and build script.
for dll in avcodec-59.dll avformat-59.dll avutil-57.dll swresample-4.dll swscale-6.dll; do
  [ -f "$lab/bin/$dll" ] || fail "no $dll in bin"
done
imports="$(x86_64-w64-mingw32-objdump -p "$lab/bin/vistrak_core_graphics_sdl2.dll")"
grep -q 'DLL Name: avformat-59.dll' <<<"$imports" || fail "the DLL does not import avformat-59.dll"
for expected in "Debian source package: ffmpeg " "--disable-everything" "--enable-decoder=h264" \
                "GNU Lesser General Public License 2.1 or later"; do
  grep -qF -- "$expected" "$lab/THIRD_PARTY_NOTICES" || fail "the notices lack \"$expected\""
done
configured="$(grep '^  configure --prefix' "$lab/THIRD_PARTY_NOTICES")" || fail "no configure line"
if grep -qE -- '--enable-(gpl|version3|nonfree)' <<<"$configured"; then
  fail "FFmpeg was configured with parts outside the LGPL 2.1: $configured"
fi
source_files="$(cmake -E tar tf "$packages/$name-ffmpeg-source.zip")"
for expected in "ffmpeg_[0-9.]*\.orig\.tar\.xz" "build_dependencies\.sh" "BUILD\.txt"; do
  grep -q "/$expected\$" <<<"$source_files" || fail "the FFmpeg source zip has no $expected"
done
say "FFmpeg's DLLs in bin with their build in the notices and their source in a zip beside"

# The DLL ships stripped, with a debug link to its debug information in the debug zip, where
# gdb finds the source lines.
cmake -E tar xf "$packages/$name-debug.zip"
dll="$lab/bin/vistrak_core_graphics_sdl2.dll"
debug_file="$work/$name-debug/vistrak_core_graphics_sdl2.dll.debug"
sections="$(x86_64-w64-mingw32-objdump -h "$dll")"
echo "$sections" | grep -q ' \.debug_info ' && fail "the DLL is not stripped"
echo "$sections" | grep -q ' \.gnu_debuglink ' || fail "the DLL has no debug link"
mkdir debug_check
cp "$dll" "$debug_file" debug_check/
line="$(gdb -batch -ex 'info line init_expt_window' debug_check/vistrak_core_graphics_sdl2.dll 2>&1)"
echo "$line" | grep -q 'Line [0-9]* of ".*expt_window.cpp"' ||
  fail "gdb finds no source line with the debug zip's file: $line"
say "the DLL is stripped; gdb finds its source lines in the debug zip's file"

exports="$(llvm-nm "$lab/lib/vistrak_core_graphics_sdl2.lib" | grep -c ' T __imp_' || true)"
[ "$exports" -eq 23 ] || fail "vistrak_core_graphics_sdl2.lib names $exports exports, not 23"
say "vistrak_core_graphics_sdl2.lib names the 23 exports"

# run_consumer <program>: runs it beside the zips' DLLs under the fresh Wine prefix; it must
# run its calibration on the zip's DLL.
run_consumer() {
  rm -rf run
  mkdir run
  cp "$lab"/bin/*.dll "$demo/bin/vistrak_core64.dll" "$1" run/
  # Windows ends the program's lines with CR LF.
  output="$(cd run && WINEPREFIX="$work/wine" WINEDEBUG=-all SDL_VIDEODRIVER=dummy \
    SDL_AUDIODRIVER=dummy /usr/lib/wine/wine64 "$1" 2>&1 | tr -d '\r')" || true
  echo "$output"
  echo "$output" | grep -qx 'consumer ok' || fail "$1 did not run its calibration"
  echo "$output" | grep -qi '^loaded .*\\run\\vistrak_core_graphics_sdl2.dll' ||
    fail "$1 did not run on the zip's DLL"
}

compile=(x86_64-w64-mingw32-gcc-posix -std=c99 -Wall -Wextra -Werror -I"$lab/include"
         -I"$demo/include")
"${compile[@]}" "$here/consumer/consumer_windows.c" -L"$lab/lib" -L"$demo/lib" \
  -lvistrak_core_graphics_sdl2 -lvistrak_core64 -o consumer.exe
run_consumer consumer.exe
say "a mingw program built from include and lib ran a calibration under a fresh Wine prefix"

# The zip's CMake package under a MinGW toolchain as a lab's would be: the compilers alone.
printf 'set(CMAKE_SYSTEM_NAME Windows)\nset(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)\n' \
  >mingw.cmake
cmake -S "$here/consumer/windows" -B cmake_build -DCMAKE_TOOLCHAIN_FILE="$work/mingw.cmake" \
  -DCMAKE_PREFIX_PATH="$lab;$demo" >cmake.log 2>&1 &&
  cmake --build cmake_build >>cmake.log 2>&1 || { cat cmake.log; fail "the CMake consumer did not build"; }
cp cmake_build/consumer_cmake.exe .
run_consumer consumer_cmake.exe
say "a program built through the zip's CMake package ran its calibration"

# The same object linked by LLVM's COFF linker (lld-link's, through clang's MinGW driver)
# against the Microsoft-format import library, where clang and lld are installed.
if command -v clang >/dev/null && command -v ld.lld >/dev/null; then
  "${compile[@]}" -c "$here/consumer/consumer_windows.c" -o consumer.o
  libgcc="$(dirname "$(x86_64-w64-mingw32-gcc-posix -print-libgcc-file-name)")"
  clang --target=x86_64-w64-mingw32 -fuse-ld=lld -L"$libgcc" consumer.o \
    "$lab/lib/vistrak_core_graphics_sdl2.lib" "$demo/lib/libvistrak_core64.dll.a" \
    -o consumer_lld.exe
  run_consumer consumer_lld.exe
  say "linked by lld against vistrak_core_graphics_sdl2.lib, it ran its calibration too"
else
  say "clang or lld is not installed: vistrak_core_graphics_sdl2.lib was not linked"
fi
