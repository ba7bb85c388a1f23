#!/usr/bin/env bash
# Builds the graphics library of an earlier revision, the "before" column of animation_bench,
# and prints the path of the shared object it made:
#   VT_BASELINE_LIBRARY=$(bench/baseline_library.sh 0ca122e /tmp/vt-baseline) \
#     build-bench/bench/animation_bench
# The revision is checked out as a git worktree in <folder> (moved to that revision when the
# folder already holds one) and built in <folder>/build, the library target alone. Everything
# but the path goes to standard error, so that the command substitution takes the path only.
set -euo pipefail
if [ $# -ne 2 ]; then
  echo "usage: $0 <git-revision> <folder>" >&2
  exit 2
fi
repository=$(git -C "$(dirname "$0")" rev-parse --show-toplevel)
revision=$(git -C "$repository" rev-parse --verify --quiet "$1^{commit}") || {
  echo "$0: $1 is not a revision of $repository" >&2
  exit 2
}
folder=$(realpath -m "$2")

if [ -e "$folder/.git" ]; then
  [ "$(git -C "$folder" rev-parse HEAD)" = "$revision" ] ||
    git -C "$folder" checkout --quiet --detach "$revision" >&2
else
  # A worktree whose folder was deleted by hand stays registered until pruned.
  git -C "$repository" worktree prune
  git -C "$repository" worktree add --detach "$folder" "$revision" >&2
fi

# Neither tests nor benchmarks: the library needs none of their packages.
cmake -S "$folder" -B "$folder/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF \
  -DVT_BUILD_BENCHMARKS=OFF >&2
cmake --build "$folder/build" -j "$(nproc)" --target vistrak_core_graphics_sdl2 >&2

library=$(find "$folder/build" -maxdepth 3 -name libvistrak_core_graphics_sdl2.so -print -quit)
if [ -z "$library" ]; then
  echo "$0: no libvistrak_core_graphics_sdl2.so under $folder/build" >&2
  exit 1
fi
realpath "$library"
