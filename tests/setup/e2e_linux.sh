#!/usr/bin/env bash
# End to end on Linux: setup --silent into a temporary HOME, the installed
# PROJECTOR started the way its menu entry starts it, the menu and desktop
# files checked with desktop-file-validate, remover --silent, and nothing left
# but the install folder.
#
# usage: e2e_linux.sh SETUP
# With PJ_REQUIRE_TOOLS=1 a missing desktop-file-validate is a failure
# (the CI lane installs it); otherwise that check is left out with a note.
set -euo pipefail
setup=$1
fail() { echo "FAIL: $*" >&2; exit 1; }

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
export HOME="$tmp/home"
export XDG_DATA_HOME="$HOME/.local/share" XDG_CONFIG_HOME="$HOME/.config"
mkdir -p "$HOME/Desktop"
unset XDG_DESKTOP_DIR
folder="$HOME/Vantor软件"

# A user gets ~/Vantor软件 by default; root would get /opt, so is told.
if [ "$(id -u)" -eq 0 ]; then
    "$setup" --silent --dir "$folder" || fail "setup --silent"
else
    "$setup" --silent || fail "setup --silent"
fi
for f in PROJECTOR PROJECTOR.chm projector.mdb projector.png remover qR.ini qR.sha256; do
    [ -f "$folder/$f" ] || fail "missing $folder/$f"
done
[ -x "$folder/PROJECTOR" ] && [ -x "$folder/remover" ] || fail "programs not executable"
apps="$XDG_DATA_HOME/applications/vantor"
menu="$XDG_CONFIG_HOME/menus/applications-merged/vantor.menu"
directory="$XDG_DATA_HOME/desktop-directories/vantor.directory"
launcher="$HOME/Desktop/Vantor.desktop"
for f in "$apps/projector.desktop" "$apps/uninstall.desktop" "$menu" "$directory" "$launcher"; do
    [ -f "$f" ] || fail "missing $f"
done
# Every created file is in the record (lines 2...), in CR LF lines.
lines=$(tail -n +2 "$folder/qR.ini" | tr -d '\r')
[ "$(head -c 12 "$folder/qR.ini")" = "Vantor软件" ] || fail "record line 1"
[ "$(grep -c $'\r$' "$folder/qR.ini")" -eq "$(wc -l < "$folder/qR.ini")" ] || fail "record not CR LF"
for f in "$folder/PROJECTOR" "$folder/projector.mdb" "$apps/projector.desktop" "$launcher" "$menu"; do
    grep -qxF "$f" <<<"$lines" || fail "not in the record: $f"
done

# Start the program as the menu entry does: its Exec in its Path.
entry="$apps/projector.desktop"
path=$(sed -n 's/^Path=//p' "$entry")
exec_line=$(sed -n 's/^Exec=//p' "$entry")
[ "$path" = "$folder" ] || fail "working folder $path"
program=${exec_line#\"}
program=${program%\"}
[ "$program" = "$folder/PROJECTOR" ] || fail "Exec $exec_line"
version=$(cd "$path" && "$program" --version) || fail "PROJECTOR --version"
[[ "$version" == "PROJECTOR "* ]] || fail "version: $version"
echo "installed: $version"
# The program finds its catalogue and help by bare name in that folder.
[ -f "$path/projector.mdb" ] && [ -f "$path/PROJECTOR.chm" ] || fail "catalogue or help not in the working folder"
grep -q "<Filename>vantor-projector.desktop</Filename>" "$menu" || fail "menu does not include the entry"
grep -q "^Name=Vantor软件$" "$directory" || fail "submenu name"

if command -v desktop-file-validate >/dev/null; then
    for f in "$apps/projector.desktop" "$apps/uninstall.desktop" "$directory" "$launcher"; do
        out=$(desktop-file-validate "$f" 2>&1) || fail "desktop-file-validate $f: $out"
        if grep -q "error:" <<<"$out"; then fail "desktop-file-validate $f: $out"; fi
    done
    echo "desktop-file-validate: 4 files valid"
elif [ "${PJ_REQUIRE_TOOLS:-0}" = 1 ]; then
    fail "desktop-file-validate is not installed"
else
    echo "note: desktop-file-validate not installed, the entries were not validated" >&2
fi

# Remove: the record's files, the record, the group; then the remover itself.
"$folder/remover" --silent || fail "remover --silent"
[ -d "$folder" ] || fail "the install folder went too"
left=$(find "$HOME" \( -type f -o -type l \) -print)
[ -z "$left" ] || fail "left behind: $left"
[ ! -e "$apps" ] || fail "the program group folder stayed"
echo "removed: only the empty install folder is left"
