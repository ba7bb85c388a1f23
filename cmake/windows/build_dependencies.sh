#!/usr/bin/env bash
# Builds the Windows (x86_64-w64-mingw32) libraries the graphics library needs from Debian's
# own source packages, in the versions the Linux build uses, as DLLs into one prefix:
#   cmake/windows/build_dependencies.sh <cache-root>
# The prefix is <cache-root>/<key>/prefix, where the key is a hash of the upstream versions
# and of the build recipe (this script and the files beside it that it builds with). A complete
# prefix (its stamp written last) is reused as it is. Progress and errors go to stderr; the
# last line on stdout is the prefix.
set -euo pipefail

[ $# -eq 1 ] || { echo "usage: $0 <cache-root>" >&2; exit 2; }
here="$(cd "$(dirname "$0")" && pwd)"
toolchain="$here/mingw-w64-x86_64.cmake"
mkdir -p "$1"
cache_root="$(cd "$1" && pwd)"

# In build order: the Debian source package, and the binary package whose installed (or
# candidate) version names the source version the Linux build uses.
SOURCES=(
  zlib:zlib1g-dev
  libpng1.6:libpng-dev
  libjpeg-turbo:libjpeg62-turbo-dev
  freetype:libfreetype-dev
  libsdl2:libsdl2-dev
  libsdl2-ttf:libsdl2-ttf-dev
  libsdl2-mixer:libsdl2-mixer-dev
  libsdl2-gfx:libsdl2-gfx-dev
  libgd2:libgd-dev
  ffmpeg:libavcodec-dev
)
TOOLS=(
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  mingw-w64-x86-64-dev cmake make dpkg-dev xz-utils bzip2 nasm
)
# What an application needs beside it: ours, then the mingw runtime.
DLLS=(
  libzlib1.dll libpng16.dll libjpeg-62.dll libfreetype.dll SDL2.dll SDL2_ttf.dll
  SDL2_mixer.dll SDL2_gfx.dll libgd.dll avutil-57.dll swresample-4.dll swscale-6.dll
  avcodec-59.dll avformat-59.dll
)
RUNTIME_DLLS=(libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
JOBS=2

say() { echo "build_dependencies: $*" >&2; }

# The Debian source version behind a binary package: the installed one, else the candidate.
source_version() {
  local binary="$1"
  if dpkg-query -W -f='${Status}' "$binary" 2>/dev/null | grep -q 'ok installed'; then
    dpkg-query -W -f='${source:Version}' "$binary"
    return
  fi
  apt-cache show --no-all-versions "$binary" 2>/dev/null | awk '
    /^Source: .*\(/ { sub(/.*\(/, ""); sub(/\).*/, ""); source = $0 }
    /^Version: / { version = $2 }
    END { if (source != "") print source; else print version }'
}

# The orig tarball holds the upstream version: no epoch, no Debian revision.
upstream_of() {
  local version="${1#*:}"
  echo "${version%-*}"
}

declare -A debian_version upstream_version
resolve_versions() {
  local entry source binary version
  for entry in "${SOURCES[@]}"; do
    source="${entry%%:*}" binary="${entry#*:}"
    version="$(source_version "$binary")"
    if [ -z "$version" ]; then
      say "apt knows no $binary yet: updating its lists"
      apt-get update -qq >&2
      version="$(source_version "$binary")"
    fi
    [ -n "$version" ] || { say "no version of $binary is known to apt"; exit 1; }
    debian_version[$source]="$version"
    upstream_version[$source]="$(upstream_of "$version")"
  done
}

ensure_tools() {
  local missing=() package
  for package in "${TOOLS[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'ok installed' ||
      missing+=("$package")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  say "installing ${missing[*]}"
  apt-get update -qq >&2
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
    "${missing[@]}" >&2
}

# apt through a configuration of its own: a deb-src copy of the machine's Debian sources, and
# lists and cache folders of its own, so the machine's apt setup stays as it is.
private_apt=()
setup_private_apt() {
  local apt_dir="$key_dir/apt" machine_sources=/etc/apt/sources.list.d/debian.sources
  [ -f "$machine_sources" ] || { say "no $machine_sources to take the Debian source from"; exit 1; }
  mkdir -p "$apt_dir/sources" "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial"
  sed -e 's/^Types:.*/Types: deb-src/' "$machine_sources" >"$apt_dir/sources/debian-src.sources"
  private_apt=(
    -o "Dir::Etc::SourceParts=$apt_dir/sources"
    -o Dir::Etc::SourceList=/dev/null
    -o "Dir::State::Lists=$apt_dir/lists"
    -o "Dir::Cache=$apt_dir/cache"
  )
  apt-get "${private_apt[@]}" update >"$log_dir/apt-update.log" 2>&1 ||
    { say "apt-get update failed, see $log_dir/apt-update.log"; exit 1; }
}

orig_tarball() {
  local source="$1" tarball
  for tarball in "$download_dir/${source}_${upstream_version[$source]}.orig.tar."{gz,xz,bz2}; do
    [ -f "$tarball" ] && { echo "$tarball"; return 0; }
  done
  return 1
}

# The orig tarball is all that is used: apt-get source also fetches the Debian archive and
# fails when that is missing upstream, which does not matter once the orig has arrived.
download() {
  local source="$1" log="$log_dir/apt-source-$1.log"
  orig_tarball "$source" >/dev/null && return 0
  (cd "$download_dir" &&
    apt-get "${private_apt[@]}" source --download-only "$source=${debian_version[$source]}" ||
    apt-get "${private_apt[@]}" source --download-only "$source") >"$log" 2>&1 || true
  orig_tarball "$source" >/dev/null ||
    { say "no orig tarball of $source ${upstream_version[$source]}, see $log"; exit 1; }
}

unpack() {
  local source="$1"
  rm -rf "${source_root:?}/$source"
  mkdir -p "$source_root/$source"
  tar -xf "$(orig_tarball "$source")" -C "$source_root/$source" --strip-components=1
}

# cmake_build <name> <source dir> [cmake arguments...]: configure, build and install.
cmake_build() {
  local name="$1" source_dir="$2" log="$log_dir/$1.log"
  shift 2
  say "building $name"
  {
    cmake -S "$source_dir" -B "$build_root/$name" \
      -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DVT_WINDOWS_DEPS="$prefix" \
      -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_SHARED_LIBS=ON "$@" &&
      cmake --build "$build_root/$name" -j "$JOBS" &&
      cmake --install "$build_root/$name"
  } >"$log" 2>&1 || { tail -n 40 "$log" >&2; say "$name failed, see $log"; exit 1; }
}

build_all() {
  local zlib=(-DZLIB_LIBRARY="$prefix/lib/libzlib.dll.a" -DZLIB_INCLUDE_DIR="$prefix/include")
  local png=(-DPNG_LIBRARY="$prefix/lib/libpng16.dll.a" -DPNG_PNG_INCLUDE_DIR="$prefix/include")
  local jpeg=(-DJPEG_LIBRARY="$prefix/lib/libjpeg.dll.a" -DJPEG_INCLUDE_DIR="$prefix/include")

  mkdir -p "$source_root/zlib/win32"
  cp "$here/zlib1.rc" "$source_root/zlib/win32/"
  cmake_build zlib "$source_root/zlib" -DINSTALL_PKGCONFIG_DIR="$prefix/lib/pkgconfig"
  cmake_build libpng "$source_root/libpng1.6" "${zlib[@]}" \
    -DPNG_STATIC=OFF -DPNG_EXECUTABLES=OFF -DPNG_TESTS=OFF
  cmake_build libjpeg-turbo "$source_root/libjpeg-turbo" \
    -DENABLE_STATIC=OFF -DWITH_TURBOJPEG=OFF -DWITH_SIMD=OFF
  cmake_build freetype "$source_root/freetype" "${zlib[@]}" -DFT_REQUIRE_ZLIB=ON \
    -DFT_DISABLE_BZIP2=ON -DFT_DISABLE_PNG=ON -DFT_DISABLE_HARFBUZZ=ON -DFT_DISABLE_BROTLI=ON
  cmake_build SDL2 "$source_root/libsdl2" -DSDL_SHARED=ON -DSDL_STATIC=OFF -DSDL_TEST=OFF
  cmake_build SDL2_ttf "$source_root/libsdl2-ttf" \
    -DSDL2TTF_SAMPLES=OFF -DSDL2TTF_VENDORED=OFF -DSDL2TTF_HARFBUZZ=OFF
  # WAV is all the graphics library plays.
  cmake_build SDL2_mixer "$source_root/libsdl2-mixer" \
    -DSDL2MIXER_SAMPLES=OFF -DSDL2MIXER_VENDORED=OFF \
    -DSDL2MIXER_CMD=OFF -DSDL2MIXER_FLAC=OFF -DSDL2MIXER_MOD=OFF -DSDL2MIXER_MP3=OFF \
    -DSDL2MIXER_MIDI=OFF -DSDL2MIXER_OPUS=OFF -DSDL2MIXER_VORBIS= -DSDL2MIXER_WAVE=ON
  cmake_build SDL2_gfx "$here/sdl2_gfx" -DSDL2_GFX_SOURCE_DIR="$source_root/libsdl2-gfx"
  cmake_build libgd "$source_root/libgd2" "${zlib[@]}" "${png[@]}" "${jpeg[@]}" \
    -DENABLE_PNG=ON -DENABLE_JPEG=ON -DENABLE_CPP=OFF
  build_ffmpeg
}

# FFmpeg for the video reader, LGPL only (no --enable-gpl or --enable-nonfree): its five
# libraries with the file protocol and the demuxers, parsers and decoders of the videos labs
# have; no programs, encoders, muxers, filters, devices or network. Nothing is detected from
# the build machine: what is built is what is named here.
FFMPEG_CONFIGURE=(
  --target-os=mingw32 --arch=x86_64 --cross-prefix=x86_64-w64-mingw32-
  --cc=x86_64-w64-mingw32-gcc-posix --cxx=x86_64-w64-mingw32-g++-posix
  --enable-shared --disable-static --disable-programs --disable-doc --disable-debug
  --disable-network --disable-autodetect --enable-w32threads --disable-everything
  --disable-avdevice --disable-avfilter --disable-postproc
  # clock_gettime and nanosleep come from the thread runtime: linked in, not imported from a
  # libwinpthread-1.dll that the package does not carry.
  --extra-libs='-Wl,-Bstatic -lwinpthread -Wl,-Bdynamic'
  --enable-protocol=file
  --enable-demuxer=avi,mov,matroska,mpegps,mpegts,flv,asf
  # The elementary streams' own demuxers tell an MPEG program stream's video codec by probing.
  --enable-demuxer=h264,hevc,mpegvideo,m4v
  --enable-parser=h264,hevc,mpeg4video,mpegvideo,vp8,vp9,mjpeg,aac,aac_latm,mpegaudio,vorbis,opus,flac,ac3,vc1
  --enable-decoder=h264,hevc,mpeg4,msmpeg4v1,msmpeg4v2,msmpeg4v3,mpeg1video,mpeg2video,vp8,vp9
  --enable-decoder=mjpeg,cinepak,msvideo1,msrle,huffyuv,ffvhuff,ffv1,utvideo,qtrle,prores
  --enable-decoder=wmv1,wmv2,wmv3,vc1,rawvideo,yuv4,v210,v308,v408,v410,y41p
  --enable-decoder='pcm_*' --disable-decoder=pcm_alaw_at,pcm_mulaw_at
  --enable-decoder=adpcm_ms,adpcm_ima_wav,mp1,mp1float,mp2,mp2float,mp3,mp3float,aac,aac_latm
  --enable-decoder=vorbis,opus,flac,ac3,eac3
  --enable-decoder=alac,wmav1,wmav2
)

build_ffmpeg() {
  local log="$log_dir/ffmpeg.log" build="$build_root/ffmpeg"
  say "building FFmpeg"
  mkdir -p "$build"
  {
    (cd "$build" && "$source_root/ffmpeg/configure" --prefix="$prefix" "${FFMPEG_CONFIGURE[@]}") &&
      make -C "$build" -j "$JOBS" && make -C "$build" install
  } >"$log" 2>&1 || { tail -n 40 "$log" >&2; say "FFmpeg failed, see $log"; exit 1; }
  # What the package's notices say of it: the source and the configure line.
  mkdir -p "$prefix/share/doc/ffmpeg"
  {
    echo "Debian source package: ffmpeg ${debian_version[ffmpeg]}"
    echo "Built from its orig tarball, ffmpeg_${upstream_version[ffmpeg]}.orig.tar.xz, by"
    echo "cmake/windows/build_dependencies.sh of this project, configured with:"
    echo "  configure --prefix=<prefix> $(printf '%q ' "${FFMPEG_CONFIGURE[@]}")"
  } >"$prefix/share/doc/ffmpeg/BUILD"
}

copy_runtime() {
  local dll path
  for dll in "${RUNTIME_DLLS[@]}"; do
    path="$(x86_64-w64-mingw32-g++-posix -print-file-name="$dll")"
    [ -f "$path" ] || { say "the mingw runtime has no $dll"; exit 1; }
    cp "$path" "$prefix/bin/"
  done
}

verify() {
  local dll missing=()
  for dll in "${DLLS[@]}" "${RUNTIME_DLLS[@]}"; do
    [ -f "$prefix/bin/$dll" ] || missing+=("$dll")
  done
  [ ${#missing[@]} -eq 0 ] || { say "missing from $prefix/bin: ${missing[*]}"; exit 1; }
}

resolve_versions
versions="$(for entry in "${SOURCES[@]}"; do
  echo "${entry%%:*} ${upstream_version[${entry%%:*}]}"
done)"
recipe="$(cat "${BASH_SOURCE[0]}" "$toolchain" "$here/zlib1.rc" "$here/sdl2_gfx/CMakeLists.txt" | sha256sum)"
key="mingw64-$(printf '%s\n%s\n' "$versions" "$recipe" | sha256sum | cut -c1-12)"
key_dir="$cache_root/$key"
prefix="$key_dir/prefix"
stamp="$prefix/.complete"

mkdir -p "$key_dir"
exec 9>"$key_dir/lock"
flock 9 # one build per key at a time; a second caller waits and then finds it complete

if [ ! -f "$stamp" ]; then
  ensure_tools
  log_dir="$key_dir/logs"
  download_dir="$key_dir/sources"
  source_root="$key_dir/build/src"
  build_root="$key_dir/build"
  rm -rf "$prefix" "$build_root" "$log_dir"
  mkdir -p "$log_dir" "$download_dir" "$source_root"
  say "building into $prefix (logs in $log_dir)"
  setup_private_apt
  for entry in "${SOURCES[@]}"; do
    download "${entry%%:*}"
    unpack "${entry%%:*}"
  done
  build_all
  copy_runtime
  verify
  rm -rf "$build_root" "$key_dir/apt" # the sources stay, for a rebuild
  echo "$versions" >"$stamp"
fi
echo "$prefix"
