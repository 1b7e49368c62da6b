#!/usr/bin/env bash
# End to end under Wine, in a Wine prefix and HOME of its own:
#  - the install core's tests (test_install_core, test_install_run);
#  - setup.exe --silent into "C:\Program Files\Vantor软件", the installed
#    PROJECTOR.exe --version started in the shortcut's working folder, the
#    ".lnk" files read by lnkinfo (liblnk-utils), remover.exe --silent, and
#    after the purger only the empty install folder left;
#  - rundll32 purger.dll,_MagicDel@16 deleting remover.exe and itself in a
#    folder whose path has spaces, and with remover.exe held open by another
#    process only the purger going.
# The prefix runs with the Chinese ANSI code page 936 when a zh_CN.UTF-8
# locale can be made (localedef), as on the machines the product serves.
#
# usage: e2e_wine.sh WINDOWS-BUILD-DIR
set -euo pipefail
bdir=$(realpath "$1")
setup_exe="$bdir/setup/win32/setup.exe"
hold="$bdir/tests/install/pj-hold-file.exe"
purger="$bdir/purger/purger.dll"
fail() { echo "FAIL: $*" >&2; exit 1; }
for f in "$setup_exe" "$hold" "$purger"; do [ -f "$f" ] || fail "missing $f"; done
command -v lnkinfo >/dev/null || fail "lnkinfo (liblnk-utils) is not installed"

tmp=$(mktemp -d)
holder=""
cleanup() {
    [ -n "$holder" ] && kill "$holder" 2>/dev/null || true
    WINEPREFIX="$tmp/prefix" command wineserver -k 2>/dev/null || true
    rm -rf "$tmp"
}
trap cleanup EXIT
export HOME="$tmp/home" WINEPREFIX="$tmp/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$HOME/Desktop"
codepage=1252
locale_env=()
mkdir -p "$tmp/locale"
if localedef -i zh_CN -f UTF-8 "$tmp/locale/zh_CN.UTF-8" >/dev/null 2>&1; then
    locale_env=(LOCPATH="$tmp/locale" LC_ALL=zh_CN.UTF-8)
    codepage=936
else
    echo "note: no zh_CN.UTF-8 locale could be made; the prefix uses code page 1252" >&2
fi
# Wine and its tools in the prefix's locale (the shell keeps its own).
wenv() { env "${locale_env[@]}" "$@"; }
w() { wenv wine "$@" 2> >(grep -v '^wine: ' >&2); }
winepath_bin=$(command -v winepath)
winepath() { wenv "$winepath_bin" "$@"; }
start=$(date +%s)
wenv wineboot --init >/dev/null 2>&1 || true
echo "Wine prefix ready in $(( $(date +%s) - start )) s (code page $codepage)"

echo "== setup.exe, remover.exe and purger.dll import only system DLLs"
objdump=$(command -v x86_64-w64-mingw32-objdump || command -v objdump)
for f in "$setup_exe" "$bdir/remover/win32/remover.exe" "$purger"; do
    while read -r dll; do
        case "${dll,,}" in
        kernel32.dll | user32.dll | gdi32.dll | comctl32.dll | shell32.dll | ole32.dll | \
            oleaut32.dll | advapi32.dll | msvcrt.dll | shlwapi.dll | comdlg32.dll) ;;
        *) fail "$(basename "$f") needs $dll, which Windows does not bring" ;;
        esac
    done < <("$objdump" -p "$f" | sed -n 's/^[[:space:]]*DLL Name: //p')
done
echo "no DLL of ours or of the compiler needed"

echo "== install core tests under Wine"
for t in test_install_core test_install_run; do
    w "$bdir/tests/install/$t.exe" --gtest_brief=1 | tail -3 || fail "$t"
done

echo "== setup.exe --silent"
folder='C:\Program Files\Vantor软件'
ufolder=$(winepath -u "$folder" 2>/dev/null)
w "$setup_exe" --silent --dir "$folder" || fail "setup.exe --silent"
for f in PROJECTOR.exe projector.CHM projector.exe.manifest projector.mdb remover.exe qR.ini qR.sha256; do
    [ -f "$ufolder/$f" ] || fail "missing $f"
done
record="$ufolder/qR.ini"
if [ "$(head -c 3 "$record")" = $'\xef\xbb\xbf' ]; then
    lines=$(tail -c +4 "$record" | tr -d '\r')
else
    lines=$(iconv -f "CP$codepage" -t UTF-8 "$record" | tr -d '\r')
fi
[ "$(head -n 1 <<<"$lines")" = "Vantor软件" ] || fail "record line 1"
mapfile -t recorded < <(tail -n +2 <<<"$lines")
for f in "${recorded[@]}"; do
    [ -f "$(winepath -u "$f" 2>/dev/null)" ] || fail "recorded but missing: $f"
done
echo "${#recorded[@]} files recorded, all present"
mapfile -t links < <(grep -i '\.lnk$' <<<"$lines")
[ "${#links[@]}" -eq 3 ] || fail "expected 3 shortcuts in the record, got ${#links[@]}"

echo "== shortcuts read by lnkinfo"
for link in "${links[@]}"; do
    ulink=$(winepath -u "$link" 2>/dev/null)
    [ -f "$ulink" ] || fail "missing $link"
    info=$(lnkinfo -c "windows-$codepage" "$ulink" 2>/dev/null) || fail "lnkinfo $link"
    wd=$(sed -n 's/^[[:space:]]*Working directory[[:space:]]*: //p' <<<"$info")
    target=$(sed -n 's/^[[:space:]]*Local path[[:space:]]*: //p' <<<"$info")
    desc=$(sed -n 's/^[[:space:]]*Description[[:space:]]*: //p' <<<"$info")
    [ "$wd" = "$folder" ] || fail "$link: working directory '$wd'"
    case "$link" in
    *卸载.lnk) [ "$target" = "$folder\\remover.exe" ] && [ "$desc" = "卸载Vantor软件" ] ||
        fail "$link: '$target' '$desc'" ;;
    *) [ "$target" = "$folder\\PROJECTOR.exe" ] && [ "$desc" = "Vantor" ] ||
        fail "$link: '$target' '$desc'" ;;
    esac
done
echo "3 shortcuts: targets, working folder and descriptions as recorded"

# A program that does not know --version would open its window: the time
# limit ends that run instead of the lane.
version=$(cd "$ufolder" && wenv timeout 120 wine PROJECTOR.exe --version 2>/dev/null | tr -d '\r') ||
    fail "PROJECTOR.exe --version"
[[ "$version" == "PROJECTOR "* ]] || fail "version: $version"
echo "installed: $version"

echo "== remover.exe --silent"
w "$ufolder/remover.exe" --silent || fail "remover.exe --silent"
for _ in $(seq 100); do
    [ ! -e "$ufolder/remover.exe" ] && [ ! -e "$ufolder/purger.dll" ] && break
    sleep 0.1
done
[ -d "$ufolder" ] || fail "the install folder went too"
left=$(find "$ufolder" -mindepth 1)
[ -z "$left" ] || fail "left in the install folder: $left"
for link in "${links[@]}"; do
    [ ! -e "$(winepath -u "$link" 2>/dev/null)" ] || fail "shortcut left: $link"
done
group=$(dirname "$(winepath -u "${links[0]}" 2>/dev/null)")
[ ! -e "$group" ] || fail "program group folder left: $group"
echo "removed: only the empty install folder is left"

echo "== purger in a folder whose path has spaces"
dir='C:\purger test\with spaces'
udir=$(winepath -u "$dir" 2>/dev/null)
mkdir -p "$udir"
cp "$purger" "$udir/purger.dll"
echo "stand-in for the uninstaller" >"$udir/remover.exe"
started=$(date +%s%N)
w rundll32.exe "$dir\\purger.dll,_MagicDel@16" "$dir\\remover.exe" || fail "rundll32 exit code $?"
took=$(( ($(date +%s%N) - started) / 1000000 ))
[ ! -e "$udir/remover.exe" ] || fail "remover.exe not deleted"
[ ! -e "$udir/purger.dll" ] || fail "purger.dll did not delete itself"
[ "$took" -ge 1900 ] || fail "the purger did not wait (${took} ms)"
echo "remover.exe and purger.dll gone after ${took} ms, exit code 0"

echo "== purger with remover.exe held open"
cp "$purger" "$udir/purger.dll"
echo "stand-in for the uninstaller" >"$udir/remover.exe"
fifo="$tmp/holding"
mkfifo "$fifo"
wenv wine "$hold" "$dir\\remover.exe" 30 >"$fifo" 2>/dev/null &
holder=$!
read -r -t 60 line <"$fifo" || fail "the holder did not start"
[ "${line%$'\r'}" = holding ] || fail "holder: $line"
w rundll32.exe "$dir\\purger.dll,_MagicDel@16" "$dir\\remover.exe" || fail "rundll32 exit code $?"
[ -e "$udir/remover.exe" ] || fail "a held remover.exe was deleted"
[ ! -e "$udir/purger.dll" ] || fail "purger.dll stayed"
kill "$holder" 2>/dev/null || true
holder=""
echo "held remover.exe stays, purger.dll gone"
echo "Wine end-to-end: all passed"
