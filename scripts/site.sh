#!/usr/bin/env bash
# Builds the folder to publish (`make site`): a short page on what Knoll is,
# the page that runs it under play/, the Windows zip and the Debian package
# with their SHA-256 sums under download/, and docs/frame.md rendered with
# its pictures and the screenshots. Static files only: any host serves it.
#
#   site.sh OUT WEB_SITE WINDOWS_BUILD PACKAGE_BUILD
set -euo pipefail
out=${1:?output folder} web=${2:?web site} windows=${3:?windows build} package=${4:?package build}
root=$(cd "$(dirname "$0")/.." && pwd)

# ------------------------------------------------------------ functions ----

# Markdown on standard input to the page $2 titled $1, with Debian's
# python3-markdown.
render() {
    local body
    body=$(markdown_py -x tables -x fenced_code -o html) || exit 1
    TITLE=$1 BODY=$body perl -pe 's/\@TITLE\@/$ENV{TITLE}/; s/\@BODY\@/$ENV{BODY}/' \
        "$root/web/site/page.html" >"$2"
}

# A list item linking download $1 with its size.
download_item() {
    printf -- '- [%s](download/%s) (%s MB)\n' "$1" "$1" \
        "$(awk "BEGIN{printf \"%.1f\", $(stat -c%s "$out/download/$1") / 1e6}")"
}

# ------------------------------------------------------------------ main ----

zip=$(ls "$windows"/knoll-*-win64.zip) deb=$(ls "$package"/knoll_*.deb)
read -r version build <"$web/version.txt"
rm -rf "$out"
mkdir -p "$out/download" "$out/docs/source"
cp -r "$web" "$out/play"
cp "$zip" "$deb" "$out/download/"
(cd "$out/download" && sha256sum -- *.zip *.deb >SHA256SUMS)
echo "$version $build" >"$out/version.txt"
cp "$root"/docs/*.png "$out/docs/"
cp -r "$root/docs/frame" "$out/docs/"

# frame.md links into the sources: those files go along, under docs/source/,
# and a folder it names as a page listing the folder's files.
for f in $(grep -o '](\.\./[^)]*)' "$root/docs/frame.md" | sed 's/^](\.\.\///; s/)$//' | sort -u); do
    mkdir -p "$out/docs/source/$(dirname "$f")"
    if [ -d "$root/$f" ]; then
        mkdir -p "$out/docs/source/$f"
        (cd "$root" && git ls-files "$f" | sed 's/^/- /') | render "$f" "$out/docs/source/$f/index.html"
    else
        cp "$root/$f" "$out/docs/source/$f"
    fi
done
sed 's/](\.\.\//](source\//g' "$root/docs/frame.md" | render "How Knoll makes a frame" "$out/docs/frame.html"

downloads="$(download_item "$(basename "$zip")")
$(download_item "$(basename "$deb")")"
sed "s/@VERSION@/$version/" "$root/web/site/index.md" |
    DOWNLOADS=$downloads perl -pe 's/\@DOWNLOADS\@/$ENV{DOWNLOADS}/' |
    render "Knoll" "$out/index.html"
echo "site: $out (Knoll $version, build $build)"
