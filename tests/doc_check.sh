#!/usr/bin/env bash
# Holds a page of docs/ to the code: every file it links exists, and every
# name it puts in backticks (outside fenced blocks) is found in src/ or
# shaders/, a name as a whole word, anything else (a file name the program
# writes) as it stands. Prints how many names and links it verified.
#   doc_check.sh SOURCE_DIR PAGE
set -u
root=$1
page=$2
dir=$(dirname "$page")
status=0
fail() { echo "doc_check: $page: $*" >&2; status=1; }

[ -f "$page" ] || { fail "no such page"; exit 1; }
text=$(awk '/^```/ { fenced = !fenced; next } !fenced' "$page")

links=0
while IFS= read -r target; do
  case $target in http://* | https://*) continue ;; esac
  target=${target%%#*}
  [ -n "$target" ] || continue
  links=$((links + 1))
  [ -e "$dir/$target" ] || fail "links to $target, which does not exist"
done < <(grep -o '](\([^)]*\))' <<<"$text" | sed 's/^](\(.*\))$/\1/' | sort -u)

names=0
while IFS= read -r span; do
  [ -n "$span" ] || continue
  names=$((names + 1))
  if [[ $span =~ ^[A-Za-z_][A-Za-z0-9_]*$ ]]; then
    grep -rqw -- "$span" "$root/src" "$root/shaders" || fail "\`$span\` is in neither src/ nor shaders/"
  else
    grep -rqF -- "$span" "$root/src" "$root/shaders" || fail "\`$span\` is in neither src/ nor shaders/"
  fi
done < <(grep -o '`[^`]*`' <<<"$text" | tr -d '`' | sort -u)

echo "doc_check: $page: $names names and $links links verified"
exit $status
