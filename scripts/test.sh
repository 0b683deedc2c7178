#!/usr/bin/env bash
# Installs what is missing, then builds and tests every configuration: quick and slow tests in the
# normal build, quick tests under ASan/UBSan and TSan, the fuzz targets in the clang build.
# Usage: scripts/test.sh [normal|asan|tsan|fuzz ...]   (default: all four)
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/install-deps.sh" || exit 1
configs=("$@")
[ ${#configs[@]} -eq 0 ] && configs=(normal asan tsan fuzz)
jobs=${TEVALO_JOBS:-$(nproc)}
# A full disk shows up as compiler errors far from their cause: say up front how much room there is.
free_kb=$(df -Pk "$root" | awk 'NR==2 {print $4}')
echo "=== free disk: $(( free_kb / 1024 )) MB (the four configurations need about 4 GB)"
[ "$free_kb" -lt 4194304 ] && echo "=== warning: less than 4 GB free; builds may fail with 'No space left on device'"
status=0
summary=()
for cfg in "${configs[@]}"; do
  start=$(date +%s)
  echo "=== $cfg: build"
  if ! bash "$root/scripts/build.sh" "$cfg" > "$root/build-$cfg.log" 2>&1; then
    tail -n 60 "$root/build-$cfg.log"
    echo "=== $cfg: BUILD FAILED"
    status=1
    summary+=("$cfg: build failed")
    continue
  fi
  case "$cfg" in
    normal) labels='quick|slow' ;;
    fuzz)   labels='fuzz' ;;
    *)      labels='quick' ;;
  esac
  echo "=== $cfg: test ($labels)"
  if ! ctest --test-dir "$root/build-$cfg" -L "$labels" -j "$jobs" --output-on-failure $( [ "$cfg" = normal ] && echo --no-tests=error || echo --no-tests=ignore); then
    status=1
  fi
  summary+=("$cfg: $(( $(date +%s) - start )) s")
done
echo "=== times: ${summary[*]}"
exit $status
