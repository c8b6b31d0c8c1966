#!/usr/bin/env bash
# Installs the build into a scratch prefix and checks what a desktop needs: both programs in
# bin/, a valid desktop entry, and the programs and icon it names where it says they are.
#   check_install.sh BUILD_DIR
set -euo pipefail
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
fail() { echo "check_install: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$prefix" >/dev/null
for p in kvam2100 kvam-meter-sim; do
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

# The installed program runs from its new place (no display needed for --help).
"$prefix/bin/$exe" --help >/dev/null || fail "$exe --help failed after installing"
echo "check_install: bin/kvam2100, bin/kvam-meter-sim, the entry and $(basename "$found") are in place"
