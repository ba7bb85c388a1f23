#!/usr/bin/env bash
# Writes the notices of the parts of others that a package of the library carries or needs,
# each licence text taken from the source it comes with, so that a new version brings its own;
# every licence text a notice refers to by path is carried too:
#   third_party_notices.sh linux <library.so>
#     Debian's copyright files of the packages that provide what the library links, of libgd
#     (loaded at run time) and of the Open Sans faces built into it, with the common licence
#     texts they refer to.
#   third_party_notices.sh linux-demo <program or library>...
#     the same for what the demo package's stand-in core and demo link.
#   third_party_notices.sh windows <folder of Debian orig tarballs> <fonts copyright file>
#                                  <FFmpeg's build description>
#     the upstream licence files of the libraries built into the Windows package, with how
#     FFmpeg was configured and where its source is, of the mingw-w64 runtime linked into the
#     DLL, and of the Open Sans faces.
#   third_party_notices.sh windows-demo
#     the mingw-w64 runtime linked into the demo zip's stand-in core and demo.
# The notices go to standard output.
set -eu

heading() {
  printf '\n%s\n%s\n%s\n\n' "================================================================================" \
    "$1" "================================================================================"
}

# The Debian package that installed file (paths may differ by the /usr merge).
package_of() {
  local file="$1" candidate package
  for candidate in "$file" "$(readlink -f "$file")" "${file#/usr}" "/usr${file}"; do
    package="$(dpkg-query -S "$candidate" 2>/dev/null | sed -n '1s/:.*//p')"
    [ -n "$package" ] && { echo "$package"; return 0; }
  done
  return 1
}

# The common licence texts the copyright files refer to, printed once at the end.
declare -A common_licences=()

# A Debian package's copyright file.
debian_notice() {
  local package="$1" what="$2" copyright="/usr/share/doc/$1/copyright" licence
  [ -f "$copyright" ] || { echo "third_party_notices: no $copyright" >&2; exit 1; }
  heading "$package $(dpkg-query -W -f='${Version}' "$package") — $what"
  notice_file "$copyright"
}

# A notice as it stands in file, whose common licence texts are carried at the end.
notice_file() {
  local licence
  cat "$1"
  # A name that ends a sentence keeps its full stop out.
  for licence in $(grep -o '/usr/share/common-licenses/[A-Za-z0-9.+-]*' "$1" | sed 's/\.*$//' |
                   sort -u); do
    [ -f "$licence" ] || { echo "third_party_notices: no $licence, which $1 names" >&2; exit 1; }
    common_licences[$licence]=1
  done
  return 0
}

common_licence_texts() {
  local licence
  for licence in $(printf '%s\n' "${!common_licences[@]}" | sort); do
    heading "$licence (referred to above)"
    cat "$licence"
  done
}

# The notices of the Debian packages that provide what the files link, each package once; the
# project's own libraries are left out.
declare -A linked_packages=()
linked_notices() {
  local file needed path package
  for file in "$@"; do
    for needed in $(objdump -p "$file" | awk '/NEEDED/ { print $2 }'); do
      case "$needed" in libvistrak_*) continue ;; esac
      path="$(ldconfig -p | awk -v name="$needed" '$1 == name { print $NF; exit }')"
      [ -n "$path" ] || { echo "third_party_notices: $needed not found" >&2; exit 1; }
      package="$(package_of "$path")" || { echo "third_party_notices: no package has $path" >&2; exit 1; }
      [ -n "${linked_packages[$package]:-}" ] && continue
      linked_packages[$package]=1
      debian_notice "$package" "provides $needed, which $(basename "$file") links"
    done
  done
}

linux() {
  local package
  echo "Third-party notices for the Linux package of vistrak_core_graphics_sdl2"
  echo "The library itself is under the MIT licence (LICENSE)."
  debian_notice fonts-open-sans "the two Open Sans faces built into the library"
  linked_notices "$1"
  package="$(package_of "$(ldconfig -p | awk '$1 == "libgd.so.3" { print $NF; exit }')")"
  debian_notice "$package" "libgd, loaded at run time for PNG, JPEG and WBMP screen images"
  common_licence_texts
}

linux_demo() {
  echo "Third-party notices for the Linux demo package of vistrak_core_graphics_sdl2"
  echo "The stand-in core library and the demo are under the MIT licence (LICENSE)."
  linked_notices "$@"
  common_licence_texts
}

# The files of an orig tarball whose names say they hold its licence.
upstream_notice() {
  local tarball="$1" what="$2" name
  heading "$(basename "$tarball" | sed 's/\.orig\.tar\..*//; s/_/ /') — $what"
  for name in $(tar -tf "$tarball" | grep -E '^[^/]+/(LICEN[CS]E|COPYING|COPYRIGHT|README\.ijg|docs/(FTL|LICENSE)\.TXT)[^/]*$' | sort); do
    printf -- '--- %s ---\n' "${name#*/}"
    tar -xOf "$tarball" "$name"
    echo
  done
}

windows() {
  local sources="$1" fonts="$2" ffmpeg_build="$3" source tarball
  echo "Third-party notices for the Windows package of vistrak_core_graphics_sdl2"
  echo "The library itself is under the MIT licence (LICENSE)."
  heading "Open Sans — the two faces built into the library"
  notice_file "$fonts"
  for source in zlib libpng1.6 libjpeg-turbo freetype libsdl2 libsdl2-ttf libsdl2-mixer \
                libsdl2-gfx libgd2 ffmpeg; do
    tarball="$(ls "$sources/${source}"_*.orig.tar.* 2>/dev/null | head -n 1)"
    [ -n "$tarball" ] || { echo "third_party_notices: no source of $source in $sources" >&2; exit 1; }
    upstream_notice "$tarball" "a DLL of bin/"
  done
  [ -f "$ffmpeg_build" ] || { echo "third_party_notices: no $ffmpeg_build" >&2; exit 1; }
  heading "FFmpeg — how its DLLs (avcodec, avformat, avutil, swresample, swscale) were built"
  echo "FFmpeg is used under the GNU Lesser General Public License 2.1 or later: it was"
  echo "configured without GPL and non-free parts. Its corresponding source, the Debian source"
  echo "package with the build script, is in the source zip published beside this package"
  echo "(<package>-ffmpeg-source.zip); it rebuilds the DLLs, which may be replaced by others"
  echo "built from a modified FFmpeg of the same interface."
  echo
  cat "$ffmpeg_build"
  mingw_runtime_notices "the DLL"
  common_licence_texts
}

mingw_runtime_notices() {
  debian_notice gcc-mingw-w64-base "libstdc++ and libgcc, linked into $1"
  debian_notice mingw-w64-common "winpthreads, linked into $1"
}

windows_demo() {
  echo "Third-party notices for the Windows demo package of vistrak_core_graphics_sdl2"
  echo "The stand-in core library and the demo are under the MIT licence (LICENSE); the DLLs"
  echo "they load come with the library's package, whose THIRD_PARTY_NOTICES covers them."
  mingw_runtime_notices "vistrak_core64.dll and vistrak_demo.exe"
  common_licence_texts
}

case "${1:-}" in
  linux) [ $# -eq 2 ] && linux "$2" ;;
  linux-demo) [ $# -ge 2 ] && shift && linux_demo "$@" ;;
  windows) [ $# -eq 4 ] && windows "$2" "$3" "$4" ;;
  windows-demo) [ $# -eq 1 ] && windows_demo ;;
  *) echo "usage: $0 linux <library> | linux-demo <file>... | windows <tarball folder>" \
          "<fonts copyright> <FFmpeg build description> | windows-demo" >&2; exit 2 ;;
esac
