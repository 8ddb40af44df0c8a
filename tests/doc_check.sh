#!/usr/bin/env bash
# Holds the documentation to the repository: README.md, CHANGELOG.md and
# every page of docs/. In each, every relative link leads to a file that
# exists, and to one of its headings where it names one; every `make TARGET`
# in code is a target of the Makefile; every word in backticks that starts
# with a folder of the repository names a file or folder there (<NAME> and *
# stand for any name). A page given with --names is also held to the code:
# every other span in backticks outside fenced blocks is found in src/ or
# shaders/, a name as a whole word, anything else (a file name the program
# writes) as it stands. Prints what it verified in each page.
#   doc_check.sh SOURCE_DIR [--names PAGE]...
set -u

# ---------------------------------------------------------------- state ----

cd "$1" || exit 1
shift
code_pages=()
while [ $# -gt 0 ]; do
  [ "$1" = --names ] && [ $# -ge 2 ] || { echo "usage: doc_check.sh SOURCE_DIR [--names PAGE]..." >&2; exit 2; }
  code_pages+=("$2")
  shift 2
done
status=0

# ------------------------------------------------------------ functions ----

# Reports a fault of the page being checked.
fail() {
  echo "doc_check: $page: $*" >&2
  status=1
}

# The page's lines outside fenced blocks.
prose() {
  awk '/^```/ { fenced = !fenced; next } !fenced' "$1"
}

# The page's code: its spans in backticks outside fenced blocks, then the
# lines of its fenced and indented blocks without their comments.
code() {
  prose "$1" | grep -o '`[^`]*`' | tr -d '`'
  awk '/^```/ { fenced = !fenced; next } fenced || /^(    |\t)/' "$1" | sed 's/ #.*//'
}

# The anchors of the page's headings, as the renderers of this repository's
# host make them: lower case, punctuation dropped, spaces to hyphens, and a
# number after a heading's repeats.
anchors() {
  prose "$1" | LC_ALL=C awk '/^#+ / {
    h = tolower($0); sub(/^#+ +/, "", h); sub(/ +#+ *$/, "", h)
    gsub(/[^a-z0-9 _-]/, "", h); gsub(/ /, "-", h)
    print (seen[h]++ ? h "-" (seen[h] - 1) : h) }'
}

# The targets the Makefile defines.
make_targets() {
  sed -nE 's/^([a-z][a-z0-9 -]*):([^=].*)?$/\1/p' Makefile | tr ' ' '\n'
}

# The top-level names under version control (or, outside a checkout, in
# the folder), which start a repository path.
top_names() {
  { git ls-files 2>/dev/null || ls -A; } | cut -d/ -f1 | sort -u
}

# Whether the repository holds path $1, where <NAME> and * stand for any name.
path_exists() {
  local pattern
  pattern=$(sed 's/<[^>]*>/*/g' <<<"$1")
  compgen -G "$pattern" >/dev/null
}

# Checks page $1 and says what it verified; $2 is "names" for a page held
# to the code's names.
check_page() {
  local dir links=0 targets=0 paths=0 names=0 target anchor file word span
  page=$1
  dir=$(dirname "$page")

  while IFS= read -r target; do
    case $target in http://* | https://* | mailto:*) continue ;; esac
    links=$((links + 1))
    file=${target%%#*} anchor=
    [ "$file" = "$target" ] || anchor=${target#*#}
    file=${file:+$dir/$file}
    if [ -n "$file" ] && [ ! -e "$file" ]; then
      fail "links to $target, which does not exist"
    elif [ -n "$anchor" ] && ! anchors "${file:-$page}" | grep -qxF -- "$anchor"; then
      fail "links to $target, a heading its page does not have"
    fi
  done < <(prose "$page" | grep -o '](\([^)]*\))' | sed 's/^](\(.*\))$/\1/' | sort -u)

  while IFS= read -r target; do
    targets=$((targets + 1))
    grep -qxF -- "$target" <<<"$all_targets" || fail "\`make $target\`: the Makefile has no such target"
  done < <(code "$page" | grep -oE '(^|[[:space:]])make +[a-z][a-z0-9-]*' | sed -E 's/.*make +//' | sort -u)

  while IFS= read -r word; do
    grep -qxF -- "${word%%/*}" <<<"$tops" || continue
    paths=$((paths + 1))
    path_exists "$word" || fail "\`$word\` is no path of the repository"
  done < <(prose "$page" | grep -o '`[^`]*`' | tr -d '`' | tr -s ' \t' '\n\n' | grep / | sort -u)

  if [ "$2" = names ]; then
    while IFS= read -r span; do
      [ -n "$span" ] && [[ $span != make\ * ]] || continue
      names=$((names + 1))
      if [[ $span =~ ^[A-Za-z_][A-Za-z0-9_]*$ ]]; then
        grep -rqw -- "$span" src shaders || fail "\`$span\` is in neither src/ nor shaders/"
      else
        grep -rqF -- "$span" src shaders || fail "\`$span\` is in neither src/ nor shaders/"
      fi
    done < <(prose "$page" | grep -o '`[^`]*`' | tr -d '`' | sort -u)
  fi
  echo "doc_check: $page: $links links, $targets make targets, $paths paths, $names code names verified"
}

# ------------------------------------------------------------------ main ----

all_targets=$(make_targets)
tops=$(top_names)
for page in README.md CHANGELOG.md docs/*.md; do
  [ -f "$page" ] || continue
  mode=plain
  for named in "${code_pages[@]}"; do [ "$named" = "$page" ] && mode=names; done
  check_page "$page" "$mode"
done
for named in "${code_pages[@]}"; do
  [ -f "$named" ] || { echo "doc_check: $named: no such page" >&2; status=1; }
done
exit $status
