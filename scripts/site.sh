#!/usr/bin/env bash
# Builds the folder to publish (`make site`): Knoll's home page (what it is,
# how to get and run it, its controls, licence and changelog, where to report
# a bug), the page that runs it under play/, the Windows zip, the Debian
# package and the source with their SHA-256 sums under download/, and
# docs/frame.md rendered with its pictures, the screenshots and the sources
# it links to, shown as pages. Static files only: any host serves it.
#
#   site.sh OUT WEB_SITE WINDOWS_BUILD PACKAGE_BUILD
set -euo pipefail
out=${1:?output folder} web=${2:?web site} windows=${3:?windows build} package=${4:?package build}
root=$(cd "$(dirname "$0")/.." && pwd)

# ------------------------------------------------------------ constants ----

# Who makes Knoll and where it lives: the packages' own values.
identity() { sed -n "s/^set($1 \"\([^\"]*\)\".*/\1/p" "$root/packaging/identity.cmake"; }
contact=$(identity KNOLL_CONTACT) homepage=$(identity KNOLL_HOMEPAGE)
mail=${contact##*<} mail=${mail%>}
# The link home that the page gets under play/ (and only there: served
# alone, it has no home above it).
PLAY_HOME="Downloads, docs and source: <a href=\"../\">Knoll's home</a>."

# ------------------------------------------------------------ functions ----

# Replaces each @NAME@ on standard input by the variable NAME of the
# environment, which must be set.
fill() {
    perl -pe 's/\@(\w+)\@/defined $ENV{$1} ? $ENV{$1} : die "site.sh: \@$1\@ is not set\n"/ge'
}

# The HTML body on standard input as the page $2 titled $1, in the frame of
# page.html, whose links home are made relative to the page.
framed() {
    local body
    body=$(cat)
    TITLE=$1 BODY=$body ROOT=$(realpath --relative-to="$(dirname "$2")" "$out")/ fill <"$root/web/site/page.html" >"$2"
}

# Markdown on standard input to the page $2 titled $1, with Debian's
# python3-markdown.
render() {
    markdown_py -x tables -x fenced_code -x toc -o html | framed "$1" "$2"
}

# Markdown on standard input without its links into the source tree, which
# the site carries only some of: a link in brackets goes, any other becomes
# its text.
unlinked() {
    perl -0777 -pe 's/\s*\(\[[^\]]*\]\((?![a-z]+:)[^)]*\)\)//g; s/\[([^\]]*)\]\((?![a-z]+:)[^)]*\)/$1/g'
}

# The section of README.md headed $1, without its heading, unlinked.
readme_section() {
    sed -n "/^## $1\$/,/^## /p" "$root/README.md" | sed '1d;$d' | unlinked
}

# Whether the source tree's file $1 is text, which a page shows.
is_text() { [ ! -d "$root/$1" ] && grep -Iq . "$root/$1"; }

# Where docs/source/ has the source tree's file or folder $1: a folder as
# its listing, text as a page (hosts hand out shaders and CMake files as
# downloads), anything else as it is.
source_url() {
    if [ -d "$root/$1" ]; then echo "$1/"; elif is_text "$1"; then echo "$1.html"; else echo "$1"; fi
}

# One line on what the file $1 of the source tree is: a source file's own
# opening comment, or an asset's part in the scene.
describe() {
    local name=${1##*/} thing
    if is_text "$1"; then
        sed -n '/^\/\/ \?/!q; /^\/\/$/q; s/^\/\/ //p' "$root/$1" | tr '\n' ' ' | sed 's/ $//'
        return
    fi
    case $name in
        t[0-9]_*) thing="ground material ${name:1:1}" ;;
        *_*.png | *.omm) thing="the ${name%%[_.]*}" ;;
    esac
    case $name in
        font.png) echo "the frame counter's letters, from DejaVu Sans Mono" ;;
        logo.png) echo "the logo screen's picture" ;;
        t_grid.png) echo "the terrain grid's texture (R)" ;;
        brdf_lut.png) echo "the BRDF lookup table of the surfaces' shading" ;;
        height.png) echo "the built-in terrain's heightmap" ;;
        splat.png) echo "the splat map: each terrain cell's ground material" ;;
        *.omm) echo "${thing}'s mesh, in Knoll's own mesh format" ;;
        *_alb.png) echo "${thing}'s colour (albedo)" ;;
        *_rma.png) echo "${thing}'s roughness, metalness and ambient occlusion" ;;
        *_nrm.png) echo "${thing}'s normal map" ;;
        *) echo "site.sh: say what $1 is in describe()" >&2; exit 1 ;;
    esac
}

# The source tree's file or folder $1 into docs/source/: a folder as a page
# listing its files with what each is, text as a page showing it.
put_source() {
    local to=$out/docs/source/$1 f url
    mkdir -p "$(dirname "$to")"
    if [ -d "$root/$1" ]; then
        mkdir -p "$to"
        { printf '# The files of %s/\n\n' "$1"
        for f in $(cd "$root" && git ls-files "$1"); do
            url=$(source_url "$f")
            [ -e "$out/docs/source/$url" ] || put_source "$f"
            printf -- '- [%s](%s): %s\n' "${f#"$1"/}" "${url#"$1"/}" "$(describe "$f")"
        done; } | render "$1" "$to/index.html"
    elif is_text "$1"; then
        { printf '<h1>%s</h1>\n<pre><code>' "$1"
          perl -pe 's/&/&amp;/g; s/</&lt;/g; s/>/&gt;/g' "$root/$1"
          printf '</code></pre>\n'; } | framed "$1" "$to.html"
    else
        cp "$root/$1" "$to"
    fi
}

# Markdown of docs/ on standard input with its links into the source tree
# led to the copies under docs/source/.
to_sources() {
    local line
    while IFS= read -r line; do
        while [[ $line =~ \]\(\.\./([^\)]*)\) ]]; do
            line=${line/"](../${BASH_REMATCH[1]})"/"](source/$(source_url "${BASH_REMATCH[1]}"))"}
        done
        printf '%s\n' "$line"
    done
}

# A list item linking download $1 with its size, and what it is, $2.
download_item() {
    printf -- '- [%s](download/%s) (%s MB): %s\n' "$1" "$1" \
        "$(awk "BEGIN{printf \"%.1f\", $(stat -c%s "$out/download/$1") / 1e6}")" "$2"
}

# The page under play/ with its link home, in the page's opening words.
link_play_home() {
    HOME_LINK=$PLAY_HOME perl -0777 -pi -e \
        's{(<p id="about">.*?)</p>}{$1 $ENV{HOME_LINK}</p>}s or die "site.sh: the page has no about line\n"' \
        "$out/play/index.html"
}

# ------------------------------------------------------------------ main ----

zip=$(ls "$windows"/knoll-*-win64.zip) deb=$(ls "$package"/knoll_*.deb)
read -r version build <"$web/version.txt"
source=knoll-$version.tar.gz
rm -rf "$out"
mkdir -p "$out/download" "$out/docs/source"
cp -r "$web" "$out/play"
link_play_home
cp "$zip" "$deb" "$out/download/"
git -C "$root" archive --prefix="knoll-$version/" -o "$out/download/$source" HEAD
(cd "$out/download" && sha256sum -- *.zip *.deb "$source" >SHA256SUMS)
echo "$version $build" >"$out/version.txt"
KNOLL_CONTACT=$contact KNOLL_HOMEPAGE=$homepage fill <"$root/packaging/copyright.in" >"$out/licence.txt"
cp "$root"/docs/*.png "$out/docs/"
cp -r "$root/docs/frame" "$out/docs/"

# frame.md links into the sources: those go along, under docs/source/.
for f in $(grep -o '](\.\./[^)]*)' "$root/docs/frame.md" | sed 's/^](\.\.\///; s/)$//' | sort -u); do
    put_source "$f"
done
to_sources <"$root/docs/frame.md" | render "How Knoll makes a frame" "$out/docs/frame.html"
unlinked <"$root/CHANGELOG.md" | render "Knoll's changelog" "$out/changelog.html"

DOWNLOADS="$(download_item "$(basename "$zip")" "64-bit Windows 7 to 11")
$(download_item "$(basename "$deb")" "Debian 12 and 13, 64-bit PCs")
$(download_item "$source" "the source of this version")" \
    VERSION=$version ZIP=$(basename "$zip") DEB=$(basename "$deb") SOURCE=$source \
    MAIL=$mail CONTROLS=$(readme_section Controls) fill <"$root/web/site/index.md" |
    render "Knoll" "$out/index.html"
echo "site: $out (Knoll $version, build $build)"
