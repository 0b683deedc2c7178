#!/usr/bin/env bash
# Installs what is missing, builds the player and runs it. Without a tuner stick it starts the tuner
# simulator on the sample broadcast first.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/install-deps.sh"
bash "$root/scripts/build.sh" normal
echo "run.sh: the player program is not built yet; the libraries and their tests are (scripts/test.sh)."
