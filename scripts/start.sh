#!/usr/bin/env bash
# Builds the tool, then starts the dialog from the build folder; arguments go to the dialog.
# Nothing is installed, so an installed package stays the one found on PATH.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/setup.sh"
exec "${VELMORA_BUILD_DIR:-$root/build}/app/velmora-extractor" "$@"
