#!/usr/bin/env bash
# Sets everything up, then starts the dialog.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/setup.sh"
exec "${VELMORA_BUILD_DIR:-$root/build}/app/velmora-extractor"
