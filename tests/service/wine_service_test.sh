#!/usr/bin/env bash
# The download service's Windows build and its installer under Wine, in a prefix of their own,
# against testbed origins: install, downloads (http over Winsock; https over WinHTTP, under a root
# the prefix trusts and under one it does not; redirects of both), the API's refusals, a service killed in the middle of
# a file and started again by an update, a port already taken, and removal (directly, and from
# the copy in the list of installed programs). Prints "N passed, N failed".
#   tests/service/wine_service_test.sh BUILD_DIR NATIVE_TESTBED
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "$1" && pwd)
testbed=$(realpath "$2")
dir=$build/wine-service
export AK_WINEPREFIX=$build/wine-service-prefix
# shellcheck source=scripts/wine-env
source "$root/scripts/wine-env"
setup=$build/service/download-service-setup.exe
api=http://127.0.0.1:9421/api
# shellcheck source=tests/support/checks.sh
source "$root/tests/support/checks.sh"

wine_quiet() { timeout -k 5 120 /usr/lib/wine/wine64 "$@" </dev/null >/dev/null 2>&1; }
reg_value() {  # KEY NAME
  timeout -k 5 60 /usr/lib/wine/wine64 reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' |
    grep -F "    $2    REG_" | sed 's/^    .*    REG_[A-Z_]*    //'
}
readonly run_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
readonly uninstall_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\TesselDownloadService'
service_folder="$WINEPREFIX/drive_c/users/$(id -un)/AppData/Local/Tessel Games/Download Service"
games=$WINEPREFIX/drive_c/service-test
library_folder="$WINEPREFIX/drive_c/users/$(id -un)/AppData/Local/Tessel"

run_setup() {  # ARGS... ; the installer's exit code in setup_status
  timeout -k 5 120 "$(wine_loader_for "$setup")" "$setup" "$@" </dev/null >/dev/null 2>&1
  setup_status=$?
}

answers_ping() {  # [PORT]
  curl -s --noproxy '*' -m 5 "http://127.0.0.1:${1:-9421}/api?function=ping&apiversion=capi_1.8.0.5&installcpcode=-1" |
    grep -q '"ping":"ok"'
}
# Wine's server holds a program's sockets and closes them a moment after the program has ended.
port_closed() {
  for _ in $(seq 1 50); do
    (exec 3<>/dev/tcp/127.0.0.1/9421) 2>/dev/null || return 0
    sleep 0.1
  done
  return 1
}

encode() { python3 -c 'import sys, urllib.parse; print(urllib.parse.quote(sys.argv[1], safe=""))' "$1"; }
call() { curl -s --noproxy '*' -m 10 "$api?function=$1&cid=1&apiversion=capi_1.8.0.5&$2"; }

# Asks the service for URL into C:\service-test\NAME and answers its write challenge as the
# client library does: the token written into the file, then the same request again.
download() {  # URL NAME
  local query answer token
  query="url=$(encode "$1")&path=$(encode "C:\\service-test\\$2")"
  answer=$(call downloadFile "$query")
  token=$(sed -n 's/.*"Challenge:\([0-9a-f]*\)".*/\1/p' <<<"$answer")
  if [ -n "$token" ]; then
    mkdir -p "$games"
    printf '%s' "$token" >"$games/$2"
    answer=$(call downloadFile "$query")
  fi
  [ "$answer" = "{\"$1\":null}" ] || echo "downloadFile $1: $answer"
}

attributes() { call getFileAttributes "url=$(encode "$1")&complete"; }

wait_for_status() {  # URL STATUS SECONDS
  for _ in $(seq 1 $(($3 * 5))); do
    attributes "$1" | grep -q "\"status\":\"$2\"" && return 0
    sleep 0.2
  done
  echo "last attributes of $1: $(attributes "$1")"
  return 1
}

wait_for_bytes() {  # FILE BYTES SECONDS
  for _ in $(seq 1 $(($3 * 10))); do
    [ -f "$1" ] && [ "$(stat -c %s "$1")" -ge "$2" ] && return 0
    sleep 0.1
  done
  return 1
}

not_hidden() {
  python3 -c 'import os, sys
try:
    value = os.getxattr(sys.argv[1], "user.DOSATTRIB").decode(errors="replace")
except OSError:
    sys.exit(0)
sys.exit(1 if value.startswith("0x") and int(value.split()[0], 16) & 2 else 0)' "$1"
}

readonly connections_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings\Connections'

# The user's browser proxy setting, as the Internet Options dialog stores it: a fixed proxy for
# every protocol, no exceptions.
set_user_proxy() {  # HOST:PORT
  local hex
  hex=$(printf '%s' "$1" | od -An -v -tx1 | tr -d ' \n')
  # Version 0x46, a counter, flags 3 (direct and proxy), the proxy's length and text, no exceptions,
  # no configuration script, and the reserved tail.
  wine_quiet reg add "$connections_key" /v DefaultConnectionSettings /t REG_BINARY /f /d \
    "4600000000000000030000000$(printf '%x' "${#1}")000000${hex}0000000000000000$(printf '0%.0s' $(seq 1 64))"
}

kill_service() { pkill -KILL -f 'Download Service.download-service.exe' 2>/dev/null; }

# A display of its own: the service hears of the session's end through a hidden window, and Wine
# makes no window without a display.
xvfb_pid=
start_private_display 241 300 -screen 0 640x480x24 || echo "no free X display: the session's end cannot be shown"

cleanup() {
  kill_service
  bash "$root/scripts/testbed-for-wine" stop "$dir" >/dev/null 2>&1
  timeout -k 5 30 /usr/lib/wine/wineserver -k >/dev/null 2>&1
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null; wait "$xvfb_pid" 2>/dev/null; fi
}
trap cleanup EXIT

prepare_wine_prefix >/dev/null 2>&1 || { echo "no Wine prefix"; echo "0 passed, 1 failed"; exit 1; }
/usr/lib/wine/wineserver -p 30 </dev/null >/dev/null 2>&1
bash "$root/scripts/testbed-for-wine" origins "$dir" "$testbed" || { echo "0 passed, 1 failed"; exit 1; }
rm -rf "$(dirname "$service_folder")" "$games"
wine_quiet reg delete "$run_key" /v "Tessel Download Service" /f
wine_quiet reg delete "$uninstall_key" /f
origin=http://127.0.0.1:$(cat "$dir/origin.port")
slow=http://127.0.0.1:$(cat "$dir/origin-slow.port")
tls=https://127.0.0.1:$(cat "$dir/origin-tls.port")
paced=https://127.0.0.1:$(cat "$dir/origin-paced-tls.port")
stranger=https://127.0.0.1:$(cat "$dir/origin-stranger.port")
served=$dir/origin/game.bin

# Install.
run_setup
check "the installer exits 0" test "$setup_status" = 0
check "the service answers once the installer has ended" answers_ping
check "the program is in its folder" test -f "$service_folder/download-service.exe"
check "the installer keeps a copy of itself for removal" test -f "$service_folder/download-service-setup.exe"
check "it starts at logon" test "$(reg_value "$run_key" "Tessel Download Service")" = \
  "\"C:\\users\\$(id -un)\\AppData\\Local\\Tessel Games\\Download Service\\download-service.exe\""
check "it is among the installed programs" test "$(reg_value "$uninstall_key" UninstallString)" = \
  "\"C:\\users\\$(id -un)\\AppData\\Local\\Tessel Games\\Download Service\\download-service-setup.exe\" /uninstall"

# Downloads through WinHTTP.
download "$origin/game.bin" plain.bin
check "an http download completes" wait_for_status "$origin/game.bin" COMPLETE 60
check "the http download is byte-identical" cmp -s "$served" "$games/plain.bin"
check "the downloaded file is not left hidden" not_hidden "$games/plain.bin"
check "the origin saw the service's user agent" grep -q '"User-Agent","Tessel Download Service"' "$dir/origin.log"
download "$tls/game.bin" secure.bin
check "an https download under a trusted root completes" wait_for_status "$tls/game.bin" COMPLETE 60
check "the https download is byte-identical" cmp -s "$served" "$games/secure.bin"
# A large file from an origin that paces each connection goes over several, through WinHTTP.
download "$paced/large.bin" large.bin
check "a large https download from a paced origin completes" wait_for_status "$paced/large.bin" COMPLETE 90
check "the large download is byte-identical" cmp -s "$dir/origin/large.bin" "$games/large.bin"
check "it came in four segments or more, each of one version" test "$(grep '"path":"/large.bin"' \
  "$dir/origin-paced.log" | grep '"If-Range","' | grep -o '"Range","bytes=[0-9]*-[0-9]' | sort -u | wc -l)" -ge 4

download "$origin/moved.bin" moved.bin
check "an http redirect is followed" wait_for_status "$origin/moved.bin" COMPLETE 60
check "the redirected download is byte-identical" cmp -s "$served" "$games/moved.bin"
download "$tls/moved.bin" secure-moved.bin
check "an https redirect is followed" wait_for_status "$tls/moved.bin" COMPLETE 60
check "the redirected https download is byte-identical" cmp -s "$served" "$games/secure-moved.bin"
# Through the proxy the user has set: WinHTTP takes it, even for plain http.
set_user_proxy "127.0.0.1:$(cat "$dir/proxy.port")"
download "$origin/game.bin?through=proxy" proxied.bin
check "a download through the user's proxy completes" wait_for_status "$origin/game.bin?through=proxy" COMPLETE 60
check "the proxied download is byte-identical" cmp -s "$served" "$games/proxied.bin"
check "it went through the proxy" grep -q 'game.bin?through=proxy' "$dir/proxy.log"
wine_quiet reg delete "$connections_key" /v DefaultConnectionSettings /f
download "$stranger/game.bin" stranger.bin
check "an https origin under an unknown root is refused" wait_for_status "$stranger/game.bin" DISCONNECTED 30
check "nothing of it is written" test "$(stat -c %s "$games/stranger.bin" 2>/dev/null || echo 0)" -le 32

# What a web page in the player's browser could send is refused.
check "a request with an Origin header is refused" test "$(curl -s --noproxy '*' -o /dev/null -w '%{http_code}' \
  -H 'Origin: http://example.com' "$api?function=ping&apiversion=capi_1.8.0.5")" = 403
check "a request for another host is refused" test "$(curl -s --noproxy '*' -o /dev/null -w '%{http_code}' \
  -H 'Host: example.com' "$api?function=ping&apiversion=capi_1.8.0.5")" = 403
check "the test controls are not part of the service" test "$(curl -s --noproxy '*' -o /dev/null -w '%{http_code}' \
  "http://127.0.0.1:9421/control?stall=*")" = 404

# Killed in the middle of a file, started again by an update: it resumes from the bytes on disk,
# less the last 4 MiB, which a power loss might have taken from a file NTFS had grown already.
download "$slow/game.bin" resumed.bin
check "the slow download is under way" wait_for_bytes "$games/resumed.bin" 5000000 30
kill_service
killed_at=$(stat -c %s "$games/resumed.bin")
check "the killed service no longer answers" port_closed
run_setup
check "the update exits 0" test "$setup_status" = 0
check "the updated service answers" answers_ping
check "the file completes after the restart" wait_for_status "$slow/game.bin" COMPLETE 60
check "the resumed file is byte-identical" cmp -s "$served" "$games/resumed.bin"
check "the restart resumed with a range" grep -q '"Range","bytes=[1-9]' "$dir/origin-slow.log"
resumed_from=$(grep -o '"Range","bytes=[0-9]*' "$dir/origin-slow.log" | tail -n 1 | grep -o '[0-9]*$')
check "the unclean stop cost the last 4 MiB" test "${resumed_from:-0}" -le $((killed_at - 4194304))
# The session ends (sign-out, shutdown) in the middle of a file: the service hears it through its
# hidden window, stops its fetches and flushes the file and the list before it answers, and the
# next start resumes at the very byte on disk, with no tail fetched twice.
download "$slow/game.bin" ended.bin
check "a slow download is under way again" wait_for_bytes "$games/ended.bin" 3000000 30
ranges_before=$(grep -c '"Range","bytes=' "$dir/origin-slow.log")
timeout -k 5 60 /usr/lib/wine/wine64 wineboot --end-session </dev/null >/dev/null 2>&1
check "the service stops at the session's end" port_closed
ended_at=$(stat -c %s "$games/ended.bin")
check "it recorded a clean stop" test ! -e "$service_folder/state/running"
check "and took its port record away" test ! -e "$library_folder/serviceport.txt"
check "its list still names the file" grep -q 'ended.bin' "$service_folder/state/registry.txt"
run_setup
check "the file completes after the next start" wait_for_status "$slow/game.bin" COMPLETE 60
check "that file is byte-identical" cmp -s "$served" "$games/ended.bin"
resumed_from=$(grep -o '"Range","bytes=[0-9]*' "$dir/origin-slow.log" | sed -n "$((ranges_before + 1))p" |
  grep -o '[0-9]*$')
check "the next start resumed at the byte the session's end left ($ended_at)" test "${resumed_from:-0}" = "$ended_at"
check "an update of a running service exits 0" run_setup
check "and leaves it answering" answers_ping
# Each API connection the service has closed lingers in TIME_WAIT, during which Windows refuses to
# bind the port exclusively again: a restart right after many requests waits its turn.
for _ in $(seq 1 100); do answers_ping || break; done
run_setup
check "an update right after 100 API requests exits 0" test "$setup_status" = 0
check "and the restarted service answers" answers_ping

# Removal as a player starts it, from the installed programs: the installed copy hands over to a
# copy in the temporary folder, which removes the folder with it and leaves nothing behind itself.
# The service stops, its program, state and entries go, the games stay.
temporary_copy="$WINEPREFIX/drive_c/users/$(id -un)/AppData/Local/Temp/download-service-uninstall.exe"
gone_within() {  # PATH SECONDS
  for _ in $(seq 1 $(($2 * 10))); do
    [ -e "$1" ] || return 0
    sleep 0.1
  done
  return 1
}
setup="$service_folder/download-service-setup.exe" run_setup /uninstall
check "removal exits 0" test "$setup_status" = 0
check "the program's folder is gone" gone_within "$service_folder" 60
check "the service is stopped" port_closed
check "the removal's temporary copy is gone once it ended" gone_within "$temporary_copy" 30
check "the autostart entry is gone" test -z "$(reg_value "$run_key" "Tessel Download Service")"
check "the installed-programs entry is gone" test -z "$(reg_value "$uninstall_key" UninstallString)"
check "downloaded games stay" cmp -s "$served" "$games/plain.bin"

# Another account's program holds 9421 (Wine names no owner of a program outside the prefix, as
# Windows names none it may tell this user of): the service takes the next port, records it where
# its user's library looks, and the installer finds it there. With every port of the range held,
# the installer says it could not start the service.
hold_ports() {  # FIRST LAST
  python3 -c 'import socket, sys, time
held = []
for port in range(int(sys.argv[1]), int(sys.argv[2]) + 1):
    s = socket.socket(); s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    s.bind(("127.0.0.1", port)); s.listen(64); held.append(s)
time.sleep(90)' "$1" "$2" &
  holder=$!
  sleep 0.5
}
hold_ports 9421 9421
run_setup
check "with 9421 taken the installer exits 0" test "$setup_status" = 0
check "the service recorded the next port" test "$(tr -d '\r\n' <"$library_folder/serviceport.txt")" = 9422
check "and answers there" answers_ping 9422
run_setup /uninstall
check "its removal takes the record away" test ! -e "$library_folder/serviceport.txt"
kill "$holder" 2>/dev/null
wait "$holder" 2>/dev/null
hold_ports 9421 9436
run_setup
check "the installer fails with 5 when every port of the range is taken (it exited $setup_status)" \
  test "$setup_status" = 5
kill "$holder" 2>/dev/null
wait "$holder" 2>/dev/null

# Removal through the copy kept for the list of installed programs.
run_setup
timeout -k 5 120 "$(wine_loader_for "$setup")" \
  "C:\\users\\$(id -un)\\AppData\\Local\\Tessel Games\\Download Service\\download-service-setup.exe" /uninstall \
  </dev/null >/dev/null 2>&1
for _ in $(seq 1 100); do [ -e "$service_folder" ] || break; sleep 0.1; done
check "removal from the installed copy removes the folder" test ! -e "$service_folder"
check "and stops the service" port_closed

checks_summary
