#!/usr/bin/env bash
# Configures and builds one configuration: normal | asan | tsan | fuzz. Build folder: build-<config>.
set -euo pipefail
cfg=${1:-normal}
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
cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${args[@]}" >/dev/null
if [ "$cfg" = fuzz ]; then
  cmake --build "$dir" -j "$jobs" --target tevalo_fuzzers
else
  cmake --build "$dir" -j "$jobs"
fi
