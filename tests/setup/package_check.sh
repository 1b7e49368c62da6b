#!/usr/bin/env bash
# The Debian package unpacked (not installed): its start script in a fresh
# HOME copies the delivered catalogue into the user's data folder on the
# first start, keeps the user's copy on later starts, links the help, and
# starts the program there; the menu entry is valid.
#
# usage: package_check.sh DEB
set -euo pipefail
deb=$(realpath "$1")
fail() { echo "FAIL: $*" >&2; exit 1; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
root="$tmp/root"
dpkg-deb -x "$deb" "$root"
for f in usr/bin/PROJECTOR usr/bin/projector-cli usr/libexec/projector/PROJECTOR \
    usr/share/projector/projector.mdb usr/share/projector/PROJECTOR.chm \
    usr/share/applications/projector.desktop usr/share/icons/hicolor/scalable/apps/projector.svg; do
    [ -e "$root/$f" ] || fail "missing /$f"
done
if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$root/usr/share/applications/projector.desktop" || fail "menu entry"
fi
# The start script, pointed at the unpacked tree.
sed -e "s|/usr/libexec/projector/PROJECTOR|$root/usr/libexec/projector/PROJECTOR|" \
    -e "s|/usr/share/projector|$root/usr/share/projector|" \
    "$root/usr/bin/PROJECTOR" >"$tmp/PROJECTOR"
chmod +x "$tmp/PROJECTOR"
export HOME="$tmp/home"
unset XDG_DATA_HOME
mkdir -p "$HOME"
"$tmp/PROJECTOR" --version | grep -q '^PROJECTOR ' || fail "--version"
[ ! -e "$HOME/.local/share/projector" ] || fail "--version made the data folder"
# A bad option ends the program at once, after the start script's work.
QT_QPA_PLATFORM=offscreen "$tmp/PROJECTOR" --no-such-option >/dev/null 2>&1 && fail "bad option accepted"
data="$HOME/.local/share/projector"
cmp "$data/projector.mdb" "$root/usr/share/projector/projector.mdb" || fail "first start: no copy"
[ -w "$data/projector.mdb" ] || fail "the user's catalogue is not writable"
[ -L "$data/PROJECTOR.chm" ] || fail "help not linked"
echo "changed by the user" >>"$data/projector.mdb"
QT_QPA_PLATFORM=offscreen "$tmp/PROJECTOR" --no-such-option >/dev/null 2>&1 || true
grep -q "changed by the user" "$data/projector.mdb" || fail "a later start replaced the user's catalogue"
echo "package: start script copies the catalogue once into $data, keeps it after"
