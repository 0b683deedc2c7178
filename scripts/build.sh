#!/usr/bin/env bash
# Configures and builds one configuration: normal | asan | tsan | fuzz. Build folder: build-<config>.
# Usage: scripts/build.sh [config] [target ...]   (default: everything, or the fuzz targets for fuzz)
set -euo pipefail
cfg=${1:-normal}
targets=("${@:2}")
root=$(cd "$(dirname "$0")/.." && pwd)
dir="$root/build-$cfg"
jobs=${TEVALO_JOBS:-$(nproc)}
case "$cfg" in
  normal) args=() ;;
  asan)   args=(-DTEVALO_SANITIZE=address) ;;
  tsan)   args=(-DTEVALO_SANITIZE=thread) ;;
  fuzz)   args=(-DTEVALO_FUZZ=ON -DTEVALO_FUZZ_SECONDS=${TEVALO_FUZZ_SECONDS:-30} -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++) ;;
  *) echo "build.sh: unknown configuration '$cfg' (normal, asan, tsan, fuzz)" >&2; exit 2 ;;
esac
echo "build.sh: configuring $dir"
cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${args[@]}"
if [ ${#targets[@]} -eq 0 ] && [ "$cfg" = fuzz ]; then targets=(tevalo_fuzzers); fi
echo "build.sh: building ${targets[*]:-everything} with $jobs jobs"
if [ ${#targets[@]} -gt 0 ]; then
  cmake --build "$dir" -j "$jobs" --target "${targets[@]}"
else
  cmake --build "$dir" -j "$jobs"
fi
