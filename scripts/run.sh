#!/usr/bin/env bash
# Installs what is missing, builds the player and runs it: without a tuner stick it starts the tuner
# simulator on the sample broadcast first. Where a display exists the player's window (tevalo) runs
# until it is closed or Ctrl-C; headless, or with TEVALO_RUN_SECONDS=N (stop after N seconds),
# tevalo-live plays the live road with progress on the terminal.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
if [ "$(id -u)" = 0 ]; then bash "$root/scripts/install-deps.sh"; fi
# Only what the player needs; the tests and benchmarks are built by test.sh and build.sh.
player_targets=(tevalo tevalo-live tevalo-regwrite tuner-sim gsthalvik)
bash "$root/scripts/build.sh" normal "${player_targets[@]}"
build="$root/build-normal"

data="${XDG_DATA_HOME:-$HOME/.local/share}/tevalo"
"$build/bin/tevalo-regwrite" install --install-dir "$build/bin" --user-dir "$data" --rec-dir "$data/Record" >/dev/null
export GST_PLUGIN_PATH="$build/plugins"

sim_pid=""
cleanup() {
  if [ -n "$sim_pid" ]; then kill "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true; fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

runtime="${XDG_RUNTIME_DIR:-${TMPDIR:-/tmp}/tevalo-$(id -u)}"
devices="${TEVALO_DEVICE_ROOT:-$runtime/tevalo/devices}/{00873FDF-61A8-11D1-AA5E-00C04FB1728B}"
if [ -d "$devices" ] && [ -n "$(ls -A "$devices" 2>/dev/null | grep -v '\.control$' || true)" ]; then
  echo "run.sh: a tuner stick is present"
else
  echo "run.sh: no tuner stick: starting the simulator on the sample broadcast"
  fifo=$(mktemp -u); mkfifo "$fifo"
  "$build/bin/tuner-sim" --config "$root/tools/tuner-sim/sample-broadcast.conf" >"$fifo" &
  sim_pid=$!
  read -r ready _ <"$fifo" || true
  rm -f "$fifo"
  if [ "${ready:-}" != ready ]; then echo "run.sh: the simulator did not start" >&2; exit 1; fi
fi

if [ -z "${TEVALO_RUN_SECONDS:-}" ] && { [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; }; then
  # The player keeps its settings ("config.ini") in the user folder the installation values name.
  mkdir -p "$data"
  (cd "$data" && "$build/bin/tevalo")
else
  args=()
  if [ -n "${TEVALO_RUN_SECONDS:-}" ]; then args+=(--seconds "$TEVALO_RUN_SECONDS"); fi
  "$build/bin/tevalo-live" "${args[@]}"
fi
