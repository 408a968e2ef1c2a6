#!/usr/bin/env bash
# package_test.sh ZIP — unzips the Windows folder into a temporary place and runs the command
# line program from there under wine: its usage, then a scan of a small data root against the
# Linux stand-in (TALLYPORT_LINUX_STANDIN, set by scripts/test-windows), which this script starts
# and stops itself; then the same in a code page 936 console (wine makes one of a terminal,
# here script(1)'s): Chinese output and a password in code page 936 bytes. Fails with a message
# on the first thing that is not right.
set -euo pipefail
zip=$1
fail() { echo "windows_package: $*" >&2; exit 1; }
[ -f "$zip" ] || fail "no $zip: scripts/windows makes it"
standin=${TALLYPORT_LINUX_STANDIN:-}
[ -x "$standin" ] || fail "TALLYPORT_LINUX_STANDIN does not name the Linux stand-in (run through scripts/test-windows)"

work=$(mktemp -d)
server_pid=
cleanup() {
    if [ -n "$server_pid" ]; then kill "$server_pid" 2>/dev/null || true; wait "$server_pid" 2>/dev/null || true; fi
    rm -rf "$work"
}
trap cleanup EXIT
unzip -q "$zip" -d "$work"
folder=$work/Tallyport
# Windows' own odbc32.dll is all the programs need for the server: no Qt SQL plugin.
for f in tallyport.exe tallyport-cli.exe; do
    [ -f "$folder/$f" ] || fail "the zip holds no Tallyport/$f"
done

# Plain wine: the DLLs must come from the folder itself.
export WINEPREFIX=${WINEPREFIX:-$HOME/.cache/qt6-mingw-wine}
export WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml='
unset WINEPATH QT_PLUGIN_PATH DISPLAY WAYLAND_DISPLAY
cli() { (cd "$folder" && wine ./tallyport-cli.exe "$@"); }

usage=$(cli --help | tr -d '\r') || fail "tallyport-cli.exe --help failed"
grep -q 'tallyport-cli scan' <<<"$usage" || fail "unexpected usage text: $usage"

# A data root with one account-year whose files are no database files, and a stand-in that
# knows none of it and finds wine's drive-letter paths through its dosdevices folder.
mkdir -p "$work/root/ZT001/2007"
head -c 8192 /dev/zero >"$work/root/ZT001/2007/ufdata.MDF"
head -c 8192 /dev/zero >"$work/root/ZT001/2007/ufdata.LDF"
password='Pack1ge#密码'
STANDIN_DOS_DEVICES="$WINEPREFIX/dosdevices" "$standin" --listen 127.0.0.1:0 --data-dir "$work/server" --sa-password "$password" >"$work/server.out" 2>&1 &
server_pid=$!
port=
for _ in $(seq 100); do
    port=$(sed -n 's/^listening on 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$work/server.out")
    [ -n "$port" ] && break
    sleep 0.1
done
[ -n "$port" ] || fail "the stand-in did not start: $(cat "$work/server.out")"
root="Z:${work//\//\\}\\root"
plan=$(printf '%s\n' "$password" | cli scan --server "127.0.0.1,$port" --root "$root" --password-stdin --json | tr -d '\r') \
    || fail "scan from the unzipped folder failed: $plan"
grep -q '"database":"UFDATA_001_2007"' <<<"$plan" || fail "scan did not list UFDATA_001_2007: $plan"
# The server's verdict: the stand-in read the file under the path the Windows build sent.
grep -q '"state":"not-database"' <<<"$plan" || fail "the server did not read the year's file: $plan"

# A console in code page 936: the table is written to it as UTF-16 and reads right, and the
# password comes as that code page's bytes (a file made in such a console, say).
printf '%s\r\n' "$password" | iconv -f UTF-8 -t GBK >"$folder/pw.txt"
console() {
    (cd "$folder" && script -qec "wine cmd /c 'chcp 936 >nul & $*'" /dev/null </dev/null) \
        | sed 's/\x1b\[[0-9;?]*[a-zA-Z]//g' | tr -d '\r'
}
table=$(console "tallyport-cli.exe scan --server 127.0.0.1,$port --root $root --password-stdin <pw.txt") || true
grep -q '账套号.*数据库名' <<<"$table" || fail "the console did not show the Chinese table header: $table"
grep -q 'UFDATA_001_2007.*不是数据库文件' <<<"$table" || fail "the console run did not sign in and scan: $table"
echo "windows_package: tallyport-cli.exe runs from the unzipped folder and reached the server"
