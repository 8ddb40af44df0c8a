#!/usr/bin/env bash
# Installs this folder's packages, exactly as its lock file pins them, once:
# puppeteer-core without a browser of its own (Debian's Chromium serves).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
[ -d "$here/node_modules/puppeteer-core" ] && exit 0
cd "$here" && PUPPETEER_SKIP_DOWNLOAD=1 npm ci --no-audit --no-fund --loglevel=error
