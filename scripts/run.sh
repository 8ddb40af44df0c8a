#!/usr/bin/env bash
# Starts Knoll in run/, where config.txt, help.txt and error.log live. When it
# fails, shows what this run added to error.log.
set -u
top=$(cd "$(dirname "$0")/.." && pwd)
mkdir -p "$top/run"
cd "$top/run"
before=$(stat -c %s error.log 2>/dev/null || echo 0)
"$top/build/knoll"
status=$?
if [ $status -ne 0 ]; then
  echo "knoll exited with status $status; error.log says:" >&2
  tail -c +$((before + 1)) error.log >&2
fi
exit $status
