# shellcheck shell=bash
# The end-to-end harness: the real downloader (the Windows test build, every host on loopback) under
# Wine on a private Xvfb display, against the testbed's servers on their fixed loopback ports, driven by
# the UI driver. Sourced by tests/e2e/run and scripts/demo.
#
# Needs: E2E_BUILD (the Windows test build's folder: by default build/win32-loopback where 32-bit
# programs run, else build/win64), E2E_TESTBED (the native testbed program).

e2e_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
# shellcheck source=scripts/windows-builds
source "$e2e_root/scripts/windows-builds"
E2E_BUILD=${E2E_BUILD:-$e2e_root/build/$(windows_test_preset)}
E2E_TESTBED=${E2E_TESTBED:-$e2e_root/build/native/testbed/testbed}
# The publisher's game server (native), which plays the publisher and the analytics service when
# E2E_WITH_GAME_SERVER is set; its dashboard answers the token in E2E_WORK/dashboard-token.
E2E_GAME_SERVER=${E2E_GAME_SERVER:-$e2e_root/build/native/publisher/game-server}
E2E_DOWNLOADER=$E2E_BUILD/app/downloader.exe
E2E_DRIVER=$E2E_BUILD/tests/ui/ui_driver.exe
E2E_GAME_SETUP=$E2E_BUILD/tests/e2e/e2e_game_setup.exe
E2E_API_GET=$E2E_BUILD/tests/e2e/e2e_api_get.exe
E2E_INSTALL_CLIENT=$E2E_BUILD/tests/e2e/e2e_install_client.exe
# The download service's installer of this build, which the installer server hosts signed (the
# loopback builds run only an installer signed by "Tessel Test Publisher"): on the install road the
# downloader installs the Windows service under Wine for real.
E2E_SERVICE_INSTALLER=$E2E_BUILD/service/download-service-setup.exe
# The throw-away certificates: the game's installer is signed by "Tessel Test Publisher" (the
# signer the loopback builds expect) under a test root that the e2e prefix trusts.
E2E_PKI=${AK_TEST_PKI:-$e2e_root/build/test-pki}

# The ports the Windows test builds are made with, and the download service's own.
E2E_PUBLISHER_PORT=47180
E2E_ANALYTICS_PORT=47181
E2E_INSTALLER_PORT=47182
E2E_SERVICE_PORT=9421

E2E_TITLE="Iron Fable Downloader"
E2E_LICENCE_TITLE="License Agreement"

export AK_WINEPREFIX=${AK_E2E_WINEPREFIX:-$E2E_BUILD/wine-e2e}
# shellcheck source=scripts/wine-env
source "$e2e_root/scripts/wine-env"

e2e_failures=0
e2e_pids=()
e2e_xvfb_pid=
e2e_downloader_pid=

e2e_note() { echo "e2e: $*"; }

# Records a failed expectation and goes on.
e2e_fail() {
  echo "e2e: FAILED: $*"
  e2e_failures=$((e2e_failures + 1))
}

e2e_expect_eq() {  # ACTUAL EXPECTED WHAT
  if [ "$1" != "$2" ]; then e2e_fail "$3: expected '$2', got '$1'"; fi
}

e2e_expect_contains() {  # FILE TEXT WHAT
  if ! grep -qF -- "$2" "$1" 2>/dev/null; then e2e_fail "$3: '$2' not in $1"; fi
}

# The prefix, the display and a clean state of the downloader's own traces in the prefix.
e2e_setup() {  # NAME
  E2E_WORK=$E2E_BUILD/e2e/$1
  rm -rf "$E2E_WORK"
  mkdir -p "$E2E_WORK/shots"
  prepare_wine_prefix >/dev/null 2>&1 || { e2e_fail "no Wine prefix"; return 1; }
  /usr/lib/wine/wineserver -p 30 </dev/null >/dev/null 2>&1 || true
  if [ ! -f "$WINEPREFIX/.e2e-ready" ]; then
    # Without a window manager Wine waits for one each time it hides a window it thinks is managed.
    timeout -k 10 60 /usr/lib/wine/wine64 reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f \
      >/dev/null 2>&1
    timeout -k 10 60 /usr/lib/wine/wineserver -w || true
    touch "$WINEPREFIX/.e2e-ready"
  fi
  e2e_start_display
  # After the display: the first Wine program of a session starts the desktop process, which
  # must know the display.
  bash "$e2e_root/tests/support/make-test-pki" "$E2E_PKI" || { e2e_fail "no test certificates"; return 1; }
  trust_root_certificate "$E2E_PKI/root.der"
  rm -rf "$WINEPREFIX/drive_c/TesselGames"
  e2e_remove_windows_service
  # Deleted until it is really gone: a Wine server that was ending may not have kept the change.
  for _ in 1 2 3; do
    e2e_wine_reg delete 'HKCU\Software\Tessel Games' /f
    [ -z "$(e2e_reg_value 'HKCU\Software\Tessel Games\Downloader\irf' accepted_eula)" ] && break
    sleep 1
  done
  # Windows always has the RunOnce key; a fresh Wine prefix does not.
  e2e_wine_reg add 'HKCU\Software\Microsoft\Windows\CurrentVersion\RunOnce' /f
  e2e_wine_reg delete 'HKCU\Software\Microsoft\Windows\CurrentVersion\RunOnce' /v "$E2E_TITLE" /f
  trap e2e_teardown EXIT
}

# Where the download service's installer puts the service in the e2e prefix.
e2e_windows_service_folder() { echo "$WINEPREFIX/drive_c/users/$(id -un)/AppData/Local/Tessel Games/Download Service"; }
e2e_windows_service_program() { echo 'C:\users\'"$(id -un)"'\AppData\Local\Tessel Games\Download Service\download-service.exe'; }

# The prefix as it was before the service was ever installed: no program, no state, no port record,
# no autostart entry and no entry among the installed programs (the service's processes must have ended).
e2e_remove_windows_service() {
  rm -rf "$(dirname "$(e2e_windows_service_folder)")"
  rm -f "$WINEPREFIX/drive_c/users/$(id -un)/AppData/Local/Tessel/serviceport.txt"
  e2e_wine_reg delete 'HKCU\Software\Microsoft\Windows\CurrentVersion\Run' /v "Tessel Download Service" /f
  e2e_wine_reg delete 'HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\TesselDownloadService' /f
}

# Ends the Windows service's process at once, as a crash or a killed task would.
e2e_kill_windows_service() {
  pkill -KILL -f 'Download Service.download-service.exe' 2>/dev/null || true
  for _ in $(seq 1 50); do
    (exec 3<>"/dev/tcp/127.0.0.1/$E2E_SERVICE_PORT") 2>/dev/null || return 0
    sleep 0.1
  done
  e2e_fail "the service still answers after it was killed"
}

# Starts the installed Windows service again, as the autostart entry does at the next logon.
e2e_start_windows_service() {
  setsid "$(wine_loader_for "$E2E_SERVICE_INSTALLER")" "$(e2e_windows_service_program)" </dev/null >/dev/null 2>&1 &
  for _ in $(seq 1 100); do
    (exec 3<>"/dev/tcp/127.0.0.1/$E2E_SERVICE_PORT") 2>/dev/null && return 0
    sleep 0.1
  done
  e2e_fail "the service did not come back"
  return 1
}

e2e_wine_reg() { timeout -k 5 60 /usr/lib/wine/wine64 reg "$@" >/dev/null 2>&1 || true; }

# Another account signed in on the same PC: a Wine prefix of its own with its own Wine server, so
# that the two see each other's programs only through the ports they hold.
E2E_OTHER_PREFIX=${E2E_OTHER_PREFIX:-$E2E_BUILD/wine-e2e-other}
e2e_other_account_used=

# Runs a command as the other account: in its prefix.
e2e_as_other_account() { WINEPREFIX=$E2E_OTHER_PREFIX "$@"; }

# The other account's data folders in its prefix.
e2e_other_library_folder() { echo "$E2E_OTHER_PREFIX/drive_c/users/$(id -un)/AppData/Local/Tessel"; }
e2e_other_service_folder() { echo "$E2E_OTHER_PREFIX/drive_c/users/$(id -un)/AppData/Local/Tessel Games/Download Service"; }

# The other account's prefix, with our service installed by its installer and answering.
e2e_other_account_installs_the_service() {
  e2e_other_account_used=1
  (export WINEPREFIX=$E2E_OTHER_PREFIX && prepare_wine_prefix) >/dev/null 2>&1 || { e2e_fail "no second prefix"; return 1; }
  rm -rf "$(dirname "$(e2e_other_service_folder)")" "$(e2e_other_library_folder)" "$E2E_OTHER_PREFIX/drive_c/other-games"
  e2e_as_other_account timeout -k 5 120 "$(wine_loader_for "$E2E_SERVICE_INSTALLER")" "$E2E_SERVICE_INSTALLER" \
    </dev/null >/dev/null 2>&1
  local status=$?
  e2e_expect_eq "$status" 0 "the other account's service installer"
  [ "$status" = 0 ]
}

# Asks the service on PORT, as a program of the account whose prefix is PREFIX, for URL into
# C:\other-games\NAME of that prefix, and answers its write challenge as the client library does.
e2e_account_downloads() {  # PREFIX PORT URL NAME
  local prefix=$1 query answer token
  query="function=downloadFile&cid=1&apiversion=capi_1.8.0.5&url=$(e2e_encode "$3")&path=$(e2e_encode "C:\\other-games\\$4")"
  mkdir -p "$prefix/drive_c/other-games"
  answer=$(e2e_account_asks "$prefix" "$2" "/api?$query")
  token=$(sed -n 's/.*"Challenge:\([0-9a-f]*\)".*/\1/p' <<<"$answer")
  if [ -n "$token" ]; then
    printf '%s' "$token" >"$prefix/drive_c/other-games/$4"
    answer=$(e2e_account_asks "$prefix" "$2" "/api?$query")
  fi
  case $answer in *':null}') ;; *) e2e_fail "the download of $4: $answer" ;; esac
}
e2e_other_account_downloads() { e2e_account_downloads "$E2E_OTHER_PREFIX" "$@"; }  # PORT URL NAME

# A request of a Windows program of the account whose prefix is PREFIX (its prefix's Wine names
# that program's connections, as Windows names every one): the answer's body.
e2e_account_asks() {  # PREFIX PORT TARGET
  WINEPREFIX=$1 timeout -k 5 60 "$(wine_loader_for "$E2E_API_GET")" "$E2E_API_GET" "$2" "$3" </dev/null 2>/dev/null
}
e2e_other_account_asks() { e2e_account_asks "$E2E_OTHER_PREFIX" "$@"; }  # PORT TARGET

# The version the service of this prefix on 9421 reports ("executableversion").
e2e_service_version() {
  e2e_account_asks "$WINEPREFIX" "$E2E_SERVICE_PORT" "/api?function=getClientAttributes&cid=0&apiversion=capi_1.8.0.5" |
    sed -n 's/.*"executableversion":"\([^"]*\)".*/\1/p'
}

# Another release of the service that the test build makes (older, newer, broken): its folder.
e2e_release() { echo "$E2E_BUILD/service/releases/$1"; }  # NAME

# Installs a release of the service in this prefix with its own installer, as an earlier
# downloader left it, answering on 9421.
e2e_install_service_release() {  # NAME
  timeout -k 5 120 "$(wine_loader_for "$E2E_SERVICE_INSTALLER")" "$(e2e_release "$1")/download-service-setup.exe" \
    </dev/null >/dev/null 2>&1
  local status=$?
  e2e_expect_eq "$status" 0 "the $1 release's installer"
  [ "$status" = 0 ]
}

e2e_encode() { python3 -c 'import sys, urllib.parse; print(urllib.parse.quote(sys.argv[1], safe=""))' "$1"; }

# The other account signs out: Wine sends its programs' windows the end of the session.
e2e_other_account_signs_out() {
  e2e_as_other_account timeout -k 5 60 /usr/lib/wine/wine64 wineboot --end-session </dev/null >/dev/null 2>&1
  e2e_as_other_account timeout -k 5 30 /usr/lib/wine/wineserver -k >/dev/null 2>&1 || true
}

# Prints the data of a registry value ("" when there is none).
e2e_reg_value() {  # KEY NAME
  timeout -k 5 60 /usr/lib/wine/wine64 reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' |
    grep -F "    $2    REG_" | sed 's/^    .*    REG_[A-Z_]*    //'
}

e2e_start_display() {
  if [ -n "${E2E_USE_DISPLAY:-}" ]; then
    export DISPLAY=$E2E_USE_DISPLAY
    return 0
  fi
  if start_private_display 171 240 -screen 0 1280x800x24; then
    e2e_xvfb_pid=$xvfb_pid
    return 0
  fi
  e2e_fail "no free X display"
  return 1
}

# A game of three files in E2E_WORK/game: the stand-in installer first, signed as a publisher
# signs it, then two data files of the given sizes in bytes. E2E_WORK/game.sha256 lists the
# digests that the publisher's configuration gives for every file.
e2e_make_game() {  # SIZE2 SIZE3
  mkdir -p "$E2E_WORK/game"
  osslsigncode sign -h sha256 -certs "$E2E_PKI/signer.pem" -key "$E2E_PKI/signer.key" -n "Iron Fable Setup" \
    -in "$E2E_GAME_SETUP" -out "$E2E_WORK/game/01_setup.exe" >/dev/null || e2e_fail "the installer was not signed"
  head -c "$1" /dev/urandom >"$E2E_WORK/game/02_assets.bin"
  head -c "$2" /dev/urandom >"$E2E_WORK/game/03_assets.bin"
  # E2E_NO_DIGESTS: the configuration gives no digests (the benchmark's second figure).
  if [ -n "${E2E_NO_DIGESTS:-}" ]; then
    : >"$E2E_WORK/game.sha256"
  else
    (cd "$E2E_WORK/game" && sha256sum -- *) >"$E2E_WORK/game.sha256"
  fi
}

# The service's installer that the installer server hosts, E2E_WORK/service-setup.exe: this build's
# (or INSTALLER), signed with a certificate of the test PKI (signer: "Tessel Test Publisher";
# other-signer: "Someone Else").
e2e_sign_service_installer() {  # CERTIFICATE [INSTALLER]
  osslsigncode sign -h sha256 -certs "$E2E_PKI/$1.pem" -key "$E2E_PKI/$1.key" -n "Tessel Download Service" \
    -in "${2:-$E2E_SERVICE_INSTALLER}" -out "$E2E_WORK/service-setup.exe.new" >/dev/null &&
    mv "$E2E_WORK/service-setup.exe.new" "$E2E_WORK/service-setup.exe" ||
    { e2e_fail "the service's installer was not signed"; return 1; }
}

# Waits for a server's "listening on PORT" line and prints the port.
e2e_port_of() {
  for _ in $(seq 1 100); do
    if grep -q '^listening on ' "$1" 2>/dev/null; then
      sed -n 's/^listening on //p' "$1" | head -n 1
      return 0
    fi
    sleep 0.1
  done
  e2e_fail "no server announced itself in $1"
  return 1
}

e2e_spawn() {  # NAME ARGS...
  local name=$1
  shift
  setsid "$E2E_TESTBED" "$@" </dev/null >"$E2E_WORK/$name.out" 2>&1 &
  e2e_pids+=($!)
  echo $! >"$E2E_WORK/$name.pid"
}

e2e_start_service() {
  rm -f "$E2E_WORK/service.out"
  e2e_spawn service service --port "$E2E_SERVICE_PORT" --state-dir "$E2E_WORK/state" --log "$E2E_WORK/service.log" \
    --retry-delay-ms 200 --drive "Z=/" --drive "C=$WINEPREFIX/drive_c" "$@"
  e2e_port_of "$E2E_WORK/service.out" >/dev/null
}

e2e_stop_service() {
  kill "$(cat "$E2E_WORK/service.pid")" 2>/dev/null || true
  for _ in $(seq 1 50); do
    (exec 3<>"/dev/tcp/127.0.0.1/$E2E_SERVICE_PORT") 2>/dev/null || return 0
    sleep 0.1
  done
}

# The origin (throttled, bytes per second), the publisher, the analytics sink, the installer
# server and, unless E2E_NO_SERVICE is set, the download service (the testbed's build of it, with
# its test controls and request log). The origin serves E2E_WORK/game,
# or E2E_ORIGIN_ROOT when set; the publisher lists E2E_WORK/game with its digests.
e2e_start_testbed() {  # THROTTLE
  mkdir -p "$E2E_WORK/state"
  [ -f "$E2E_WORK/service-setup.exe" ] || e2e_sign_service_installer signer || return 1
  e2e_spawn origin origin --port 0 --root "${E2E_ORIGIN_ROOT:-$E2E_WORK/game}" --log "$E2E_WORK/origin.log" \
    --throttle "$1"
  local origin
  origin=$(e2e_port_of "$E2E_WORK/origin.out") || return 1
  if [ -n "${E2E_WITH_GAME_SERVER:-}" ]; then
    e2e_start_game_server "http://127.0.0.1:$origin" || return 1
  else
    e2e_spawn publisher publisher --port "$E2E_PUBLISHER_PORT" --log "$E2E_WORK/publisher.log" \
      --files "$E2E_WORK/game" --origin "http://127.0.0.1:$origin" --sha256 "$E2E_WORK/game.sha256" \
      ${E2E_PUBLISHER_ARGS:-}
    e2e_spawn analytics analytics --port "$E2E_ANALYTICS_PORT" --log "$E2E_WORK/analytics.log"
  fi
  e2e_spawn installer installer --port "$E2E_INSTALLER_PORT" --body "$E2E_WORK/service-setup.exe" --gzip \
    --log "$E2E_WORK/installer.log"
  local name
  for name in publisher analytics installer; do e2e_port_of "$E2E_WORK/$name.out" >/dev/null || return 1; done
  if [ -z "${E2E_NO_SERVICE:-}" ]; then e2e_start_service; fi
}

# The game server as a publisher runs it: E2E_WORK/game published as a release of irf (its
# installer's signature checked against the test root), then two processes on the one database,
# one on the publisher's port and one on the analytics port.
e2e_start_game_server() {  # CDN_BASE_URL
  "$E2E_GAME_SERVER" publish irf "$1" "$E2E_WORK/game" --db "$E2E_WORK/game-server.db" --installer 01_setup.exe \
    --signer "Tessel Test Publisher" --ca "$E2E_PKI/root.pem" >"$E2E_WORK/publish.out" 2>&1 ||
    { e2e_fail "game-server publish: $(cat "$E2E_WORK/publish.out")"; return 1; }
  echo "dashboard-$RANDOM$RANDOM$RANDOM$RANDOM" >"$E2E_WORK/dashboard-token"
  local name port
  for name in publisher analytics; do
    port=$E2E_PUBLISHER_PORT
    [ "$name" = analytics ] && port=$E2E_ANALYTICS_PORT
    setsid "$E2E_GAME_SERVER" serve --db "$E2E_WORK/game-server.db" --port "$port" --log "$E2E_WORK/$name.log" \
      --dashboard-token-file "$E2E_WORK/dashboard-token" </dev/null >"$E2E_WORK/$name.out" 2>&1 &
    e2e_pids+=($!)
  done
}

# The game server's dashboard page for irf (the current release).
e2e_dashboard() { curl -s -u "publisher:$(cat "$E2E_WORK/dashboard-token")" "http://127.0.0.1:$E2E_PUBLISHER_PORT/dashboard?game=irf"; }
# One figure of that page.
e2e_dashboard_figure() {  # NAME
  e2e_dashboard | sed -n "s/.*data-figure=\"$1\">\([^<]*\)<.*/\1/p" | head -n 1
}

# Sends fault controls to a testbed server: e2e_control PORT QUERY
e2e_control() {
  local answer
  answer=$(timeout 10 bash -c 'exec 3<>"/dev/tcp/127.0.0.1/$1" && printf "GET /control?%s HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n" "$2" >&3 && cat <&3' _ "$1" "$2")
  case $answer in
    "HTTP/1."*" 200 "*) ;;
    *) e2e_fail "control $2 refused: $answer" ;;
  esac
}

e2e_run_downloader() {  # ARGS...
  AK_WINE_TIMEOUT=${E2E_RUN_LIMIT:-400} bash "$e2e_root/scripts/wine-run" "$E2E_DOWNLOADER" "$@" \
    >"$E2E_WORK/downloader.out" 2>&1 &
  e2e_downloader_pid=$!
}

e2e_drive() { AK_WINE_TIMEOUT=60 bash "$e2e_root/scripts/wine-run" "$E2E_DRIVER" "$@" 2>>"$E2E_WORK/driver.err" | tr -d '\r'; }

# Waits for the downloader to end: its exit code in E2E_EXIT (124 after the time limit).
e2e_wait_exit() {  # SECONDS
  local waited=0
  while kill -0 "$e2e_downloader_pid" 2>/dev/null && [ "$waited" -lt "$(($1 * 10))" ]; do
    sleep 0.1
    waited=$((waited + 1))
  done
  if kill -0 "$e2e_downloader_pid" 2>/dev/null; then
    E2E_EXIT=124
    kill "$e2e_downloader_pid" 2>/dev/null
  else
    wait "$e2e_downloader_pid"
    E2E_EXIT=$?
  fi
}

# A screenshot of the whole display, taken once the window it is meant to show (TITLE, or "@box")
# has drawn itself completely.
e2e_shot() {  # NAME [TITLE]
  if [ -n "${2:-}" ] && ! e2e_drive drawn "$2" --wait 10 >/dev/null; then
    e2e_note "screenshot $1: '$2' had not finished drawing"
  fi
  import -display "$DISPLAY" -window root "$E2E_WORK/shots/$1.png" 2>/dev/null || e2e_fail "no screenshot $1"
}

# Polls until the message box shows and prints its message.
e2e_box_text() {  # SECONDS
  e2e_drive text @box 1026 --wait "$1"
}

# The event names the analytics sink received, in order, one line.
e2e_events() { grep -o '"event":"[a-z_]*"' "$E2E_WORK/analytics.log" 2>/dev/null | sed 's/"event":"//; s/"//' | xargs; }

# The events but "stats", in their order; and a check that "stats" came once, after
# "download_init": the worker thread sends it when it has gathered the machine's inventory, which
# nothing waits for, so on a busy machine a small first file may arrive before it.
e2e_events_but_stats() { e2e_events | tr ' ' '\n' | grep -vx stats | xargs; }
e2e_expect_one_stats_after_init() {
  local events
  events=" $(e2e_events) "
  [[ $events == *" download_init"*" stats "* ]] || e2e_fail "no stats event after download_init:$events"
  [ "$(grep -o ' stats ' <<<"$events" | wc -l)" -le 1 ] || e2e_fail "more than one stats event:$events"
}

# The event line of the nth (1-based) event with that name.
e2e_event_line() {  # NAME N
  grep "\"event\":\"$1\"" "$E2E_WORK/analytics.log" | sed -n "${2}p"
}

e2e_paths() {  # LOG
  grep -o '"path":"[^"]*"' "$1" 2>/dev/null | sed 's/"path":"//; s/"$//' | xargs
}

e2e_download_folder() { echo "$WINEPREFIX/drive_c/TesselGames/Downloader"; }

# Line N of what the game's stand-in installer wrote when it was opened: 1 its path, 2 its working
# folder, 3 the access list of its folder, 4 that of the folder's parent.
e2e_opened_line() {  # N
  sed -n "$1p" "$(e2e_download_folder)/opened.txt" 2>/dev/null | tr -d '\r'
}

# Fails unless the access list (SDDL) lets no account but the Wine user, SYSTEM and the
# administrators change anything (reading is fine). On Windows the folders carry exactly
# "D:P(A;OICI;FA;;;<user>)(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FR;;;OW)"; this Wine keeps only what a Unix mode
# can say of an access list.
e2e_expect_private_access_list() {  # SDDL WHAT
  local entry rights sid
  case $1 in
    D:*\(*) ;;
    *) e2e_fail "$2: no access list to check ('$1')"; return ;;
  esac
  while read -r entry; do
    rights=$(cut -d';' -f3 <<<"$entry")
    sid=$(cut -d';' -f6 <<<"$entry" | tr -d ')')
    case $sid in SY | BA | CO | S-1-5-21-0-0-0-1000) continue ;; esac
    case $rights in FR | FX | 0x1200a9 | 0x1200a0) continue ;; esac
    e2e_fail "$2: $entry lets another account change the folder ($1)"
  done < <(grep -o '(A;[^)]*)' <<<"$1")
}

# The names of the files the downloader asked the service to delete, in order, one line (a delete
# repeated with the answer to the service's write challenge counts once).
e2e_deleted_at_service() {
  grep -o 'function=deleteFile[^"]*url=[^"&]*' "$E2E_WORK/service.log" 2>/dev/null | sed 's/.*%2f//' | uniq | xargs
}

# Every game file on disk equals its origin copy.
e2e_expect_files_complete() {
  local file
  for file in "$E2E_WORK"/game/*; do
    cmp -s "$file" "$(e2e_download_folder)/$(basename "$file")" || e2e_fail "$(basename "$file") differs from the origin"
    e2e_expect_not_hidden "$(e2e_download_folder)/$(basename "$file")"
  done
}

# The file's DOS attributes (which Wine keeps in an extended attribute) do not hide it.
e2e_expect_not_hidden() {  # PATH
  local attributes
  attributes=$(python3 -c 'import os, sys
try:
    print(int(os.getxattr(sys.argv[1], "user.DOSATTRIB").split(b"\0")[0], 0))
except OSError:
    print(0)' "$1")
  [ $((attributes & 2)) -eq 0 ] || e2e_fail "$(basename "$1") is hidden"
}

# Waits until the download service has fetched at least BYTES of a file.
e2e_wait_for_bytes() { e2e_wait_for_bytes_at "$(e2e_download_folder)/$1" "$2" "$3"; }  # NAME BYTES SECONDS

e2e_wait_for_bytes_at() {  # PATH BYTES SECONDS
  for _ in $(seq 1 $(($3 * 10))); do
    if [ -f "$1" ] && [ "$(stat -c %s "$1")" -ge "$2" ]; then return 0; fi
    sleep 0.1
  done
  e2e_fail "$(basename "$1") did not reach $2 bytes in $3 s"
  return 1
}

# Waits until the main window's status line matches a shell pattern; prints the line.
e2e_wait_for_status() {  # PATTERN SECONDS
  local status
  for _ in $(seq 1 $(($2 * 2))); do
    status=$(e2e_drive text "$E2E_TITLE" 1004 --wait 1)
    # shellcheck disable=SC2053
    if [[ $status == $1 ]]; then
      echo "$status"
      return 0
    fi
    sleep 0.3
  done
  e2e_fail "the status line never matched '$1' (last: '$status')"
  return 1
}

e2e_teardown() {
  local pid
  if [ -n "$e2e_downloader_pid" ]; then kill "$e2e_downloader_pid" 2>/dev/null || true; fi
  for pid in "${e2e_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  timeout -k 5 30 /usr/lib/wine/wineserver -k >/dev/null 2>&1 || true
  timeout -k 5 30 /usr/lib/wine/wineserver -w >/dev/null 2>&1 || true
  e2e_remove_windows_service
  # The registry is written to the prefix's files when the Wine server ends.
  timeout -k 5 30 /usr/lib/wine/wineserver -k >/dev/null 2>&1 || true
  if [ -n "$e2e_other_account_used" ]; then e2e_as_other_account timeout -k 5 30 /usr/lib/wine/wineserver -k >/dev/null 2>&1; fi
  if [ -n "$e2e_xvfb_pid" ]; then
    kill "$e2e_xvfb_pid" 2>/dev/null || true
    wait "$e2e_xvfb_pid" 2>/dev/null || true
  fi
}

# Ends a scenario with the line ctest looks for.
e2e_result() {  # NAME
  if [ "$e2e_failures" -eq 0 ]; then
    echo "[  PASSED  ] 1 test ($1)"
    return 0
  fi
  echo "[  FAILED  ] $1: $e2e_failures expectation(s); logs in $E2E_WORK"
  return 1
}
