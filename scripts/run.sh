#!/usr/bin/env bash
# Installs what is missing, builds Plumeroc and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
exec "${BUILD_DIR:-build}/bin/plumeroc" "$@"
