#!/usr/bin/env bash
# Installs the build into a scratch prefix and checks what a desktop, a software centre and a
# Debian system need: the programs in bin/, a manual page for each, a valid desktop entry with the
# programs and icon it names where it says they are, valid AppStream metadata naming that entry
# and the programs, the copyright file and the changelog, all of the project's version.
#   check_install.sh BUILD_DIR VERSION
set -euo pipefail
build=$1
version=$2
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
fail() { echo "check_install: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$prefix" >/dev/null
programs=(kvam2100 kvam2100-cli kvam-meter-sim)
for p in "${programs[@]}"; do
    [ -x "$prefix/bin/$p" ] || fail "bin/$p is missing or not executable"
done

entry="$prefix/share/applications/kvam2100.desktop"
[ -f "$entry" ] || fail "no desktop entry at share/applications/kvam2100.desktop"
desktop-file-validate "$entry" || fail "desktop-file-validate rejects the entry"
value() { sed -n "s/^$1=//p" "$entry" | head -n 1; }
for key in Name 'Name\[hu\]' Comment 'Comment\[hu\]' Categories; do
    [ -n "$(value "$key")" ] || fail "the entry has no $key"
done
exe=$(value Exec | awk '{print $1}')
[ -x "$prefix/bin/$exe" ] || fail "Exec=$exe is not among the installed programs"
icon=$(value Icon)
found=$(find "$prefix/share/icons/hicolor" -path "*/apps/$icon.*" \( -name '*.svg' -o -name '*.png' \) | head -n 1)
[ -n "$found" ] || fail "Icon=$icon is not in the hicolor theme"
case "$found" in
    */scalable/apps/*.svg) grep -q '<svg' "$found" || fail "$found is not an SVG picture" ;;
esac

# A gzip file made with -n: no file name (flag bit 3) and no time stamp (bytes 4 to 7), so the
# package's bytes do not depend on when or where it was built.
reproducible_gzip() {
    gzip -t "$1" 2>/dev/null || fail "${1#"$prefix"/} is not a valid gzip file"
    local head
    head=$(od -An -tx1 -N8 "$1" | tr -d ' \n')
    (((0x${head:6:2} & 0x08) == 0)) || fail "${1#"$prefix"/} keeps a file name (gzip without -n)"
    [ "${head:8:8}" = 00000000 ] || fail "${1#"$prefix"/} keeps a time stamp (gzip without -n)"
}

# A manual page for every installed program and for the command-line tool, each naming its
# program, of this version, and rendered by man without a warning.
man1="$prefix/share/man/man1"
mapfile -t installed < <(find "$prefix/bin" -maxdepth 1 -type f -executable -printf '%f\n' | sort)
for p in "${installed[@]}" kvam2100-cli; do
    page="$man1/$p.1.gz"
    [ -f "$page" ] || fail "no manual page share/man/man1/$p.1.gz"
    reproducible_gzip "$page"
    text=$(zcat "$page")
    th=$(grep -m1 '^\.TH' <<<"$text") || fail "$p.1 has no .TH line"
    [[ "$th" == *"\"kvam2100 $version\""* ]] || fail "$p.1 is not of version $version: $th"
    # The whatis line: "NAME \- summary", with or without the escaped hyphens.
    name=$(sed -n '/^\.SH NAME/{n;p;q}' <<<"$text")
    name=${name//\\-/-}
    [[ "$name" == "$p - "* ]] || fail "$p.1's NAME line does not name $p: $name"
    if command -v man >/dev/null; then
        warnings=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null) || fail "man cannot show $p.1: $warnings"
        [ -z "$warnings" ] || fail "man warns about $p.1: $warnings"
    fi
done

# Debian's documents: a machine-readable copyright file and a changelog whose latest entry is this
# version.
doc="$prefix/share/doc/kvam2100"
[ -f "$doc/copyright" ] || fail "no share/doc/kvam2100/copyright"
head -n 1 "$doc/copyright" | grep -q '^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' ||
    fail "share/doc/kvam2100/copyright is not in the machine-readable format"
[ -f "$doc/changelog.gz" ] || fail "no share/doc/kvam2100/changelog.gz"
reproducible_gzip "$doc/changelog.gz"
changelog=$(mktemp)
trap 'rm -rf "$prefix" "$changelog"' EXIT
zcat "$doc/changelog.gz" >"$changelog"
if command -v dpkg-parsechangelog >/dev/null; then
    latest=$(dpkg-parsechangelog -l "$changelog" -S Version)
else
    latest=$(sed -n '1s/^kvam2100 (\([^)]*\)).*/\1/p' "$changelog")
fi
[ "$latest" = "$version" ] || fail "the changelog's latest entry is ${latest:-unreadable}, not $version"

# The AppStream metadata: valid, naming the desktop entry, providing exactly the programs, and
# with this version as its latest release.
metainfo=$(find "$prefix/share/metainfo" -name '*.metainfo.xml' 2>/dev/null | head -n 1)
[ -n "$metainfo" ] || fail "no AppStream metadata in share/metainfo"
if command -v appstreamcli >/dev/null; then
    report=$(appstreamcli validate --no-net --strict "$metainfo" 2>&1) ||
        fail "appstreamcli rejects $(basename "$metainfo"):"$'\n'"$report"
fi
id=$(sed -n 's:.*<id>\(.*\)</id>.*:\1:p' "$metainfo" | head -n 1)
[ "$(basename "$metainfo")" = "$id.metainfo.xml" ] || fail "$(basename "$metainfo") is not named after its id $id"
launchable=$(sed -n 's:.*<launchable type="desktop-id">\(.*\)</launchable>.*:\1:p' "$metainfo")
[ -f "$prefix/share/applications/$launchable" ] || fail "the metadata launches $launchable, which is not installed"
mapfile -t provided < <(sed -n 's:.*<binary>\(.*\)</binary>.*:\1:p' "$metainfo" | sort)
for p in "${installed[@]}"; do
    printf '%s\n' "${provided[@]}" | grep -qx "$p" || fail "the metadata does not provide bin/$p"
done
for p in "${provided[@]}"; do
    [ -x "$prefix/bin/$p" ] || fail "the metadata provides $p, which is not installed"
done
release=$(sed -n 's:.*<release version="\([^"]*\)".*:\1:p' "$metainfo" | head -n 1)
[ "$release" = "$version" ] || fail "the metadata's latest release is ${release:-missing}, not $version"

# The installed program runs from its new place (no display needed for --help).
"$prefix/bin/$exe" --help >/dev/null || fail "$exe --help failed after installing"
# The command-line tool links neither Qt Gui nor Widgets, and runs from its new place too.
"$prefix/bin/kvam2100-cli" --help >/dev/null || fail "kvam2100-cli --help failed after installing"
if ldd "$prefix/bin/kvam2100-cli" | grep -Eq 'libQt6(Gui|Widgets)'; then
    fail "kvam2100-cli links Qt Gui or Widgets"
fi
echo "check_install: ${programs[*]}, their manual pages, the entry, $(basename "$found"), $(basename "$metainfo"), copyright and changelog are in place"
