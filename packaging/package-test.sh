#!/usr/bin/env bash
# Builds the Debian package in fresh Debian 12 and 13 roots and runs the
# install-run-remove cycle of packaging/test_installed.sh there. The roots
# get a clone of the committed HEAD: commit first. Needs root and
# debootstrap; each suite takes several minutes. FRESH_MACHINE names the
# fresh-machine tool when it is not in ../shared/tools beside the project.
#   package-test.sh [SUITE...]     (default: bookworm trixie)
set -u
top=$(cd "$(dirname "$0")/.." && pwd)
fresh=${FRESH_MACHINE:-$top/../shared/tools/fresh-machine}
[ -x "$fresh" ] || { echo "package-test: $fresh missing" >&2; exit 2; }
[ -z "$(git -C "$top" status --porcelain --untracked-files=no)" ] ||
  echo "package-test: note: uncommitted changes are not tested" >&2

suites=("$@")
[ ${#suites[@]} -gt 0 ] || suites=(bookworm trixie)
failed=()
for suite in "${suites[@]}"; do
  echo "package-test: $suite"
  "$fresh" --suite "$suite" "$top" -- \
    'make package && bash packaging/test_installed.sh build-package' || failed+=("$suite")
done
if [ ${#failed[@]} -gt 0 ]; then
  echo "package-test: failed on ${failed[*]}" >&2
  exit 1
fi
echo "package-test: passed on ${suites[*]}"
