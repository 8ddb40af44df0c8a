# Debian source packages fetched with apt through a private source list under
# $APT, a folder of the caller's, so that nothing system-wide changes, and
# checked against the signed Sources index (sourced, not run). Used by
# check-glfw34.sh and setup-windows.sh, which set APT and define say.

# Makes $APT empty, with the folders apt needs. The caller then writes its
# entries to $APT/sources.list or $APT/sources.list.d/ and fetches the lists
# with `private_apt apt-get update`.
private_apt_reset() {
  rm -rf "$APT"
  mkdir -p "$APT/sources.list.d" "$APT/lists/partial" "$APT/cache/archives/partial"
}

# apt-get or apt-cache ($1) on the private lists only.
private_apt() {
  local tool=$1
  shift
  "$tool" -o Dir::Etc::SourceList="$APT/sources.list" \
    -o Dir::Etc::SourceParts="$APT/sources.list.d" \
    -o Dir::State::Lists="$APT/lists" -o Dir::Cache="$APT/cache" \
    -o APT::Sandbox::User=root "$@"
}

# Prints "sha256  name" for each file of the Checksums-Sha256 fields on
# standard input (a .dsc, or the Sources stanzas of version $1).
sha256_field() {
  awk -v v="${1:-}" '/^Version:/ { ver = $2 } /^Checksums-Sha256:/ { on = 1; next }
                     /^[^ ]/ { on = 0 } on && (v == "" || ver == v) { print $1 "  " $3 }'
}

# Downloads the files of source package $1 at version $2 into the current
# folder and checks each that came against the Sources index (index.sha256
# there); a mismatch ends the script. Sets absent to the files of the index
# the mirror did not give (apt's complaint is in apt.err).
fetch_checked_source() {
  local pkg=$1 version=$2 sum name
  private_apt apt-cache showsrc --only-source "$pkg" | sha256_field "$version" >index.sha256
  [ -s index.sha256 ] || { say "the mirror offers no source of $pkg $version"; exit 1; }
  private_apt apt-get source -qq --download-only "$pkg=$version" >/dev/null 2>apt.err || true
  absent=()
  : >present.sha256
  while read -r sum name; do
    if [ -e "$name" ]; then echo "$sum  $name" >>present.sha256; else absent+=("$name"); fi
  done <index.sha256
  sha256sum -c --quiet present.sha256 || { say "$pkg $version does not match the Sources index"; exit 1; }
}
