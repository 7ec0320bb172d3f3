#!/usr/bin/env bash
# game-server publish and rollback from the command line, with the installer's signature checked
# by osslsigncode: a real Windows program signed by the test publisher, by someone else, and not
# at all.
# Usage: publish_test.sh GAME_SERVER WINDOWS_PROGRAM PKI_DIR
set -uo pipefail
server=$1 program=$2 pki=$3
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/publish-test.XXXXXX")
trap 'rm -rf "$work"' EXIT
bash "$root/tests/support/make-test-pki" "$pki" >/dev/null || { echo "0 passed, 1 failed (no test certificates)"; exit 1; }
# shellcheck source=tests/support/checks.sh
source "$root/tests/support/checks.sh"
sign() {  # CERT KEY OUT
  osslsigncode sign -h sha256 -certs "$1" -key "$2" -n setup -in "$program" -out "$3" >/dev/null
}
db=$work/game.db
mkdir -p "$work/good" "$work/other" "$work/unsigned"
sign "$pki/signer.pem" "$pki/signer.key" "$work/good/setup.exe"
sign "$pki/other-signer.pem" "$pki/other-signer.key" "$work/other/setup.exe"
cp "$program" "$work/unsigned/setup.exe"
for folder in good other unsigned; do printf 'game data' >"$work/$folder/data.bin"; done
publish() {  # FOLDER
  "$server" publish irf "https://cdn.example/irf/$1" "$work/$1" --db "$db" \
    --signer "Tessel Test Publisher" --ca "$pki/root.pem" >"$work/out" 2>&1
}

check "a release signed by the expected publisher is published" publish good
refused() { ! "$@"; }
check "one signed by someone else is refused" refused publish other
check "the refusal names the signer" grep -q 'signed by "Someone Else"' "$work/out"
check "an unsigned installer is refused" refused publish unsigned
"$server" releases irf --db "$db" >"$work/releases"
check "only the signed release is there" test "$(grep -c '^irf release' "$work/releases")" -eq 1
check "with the installer's digest" grep -q "$(sha256sum "$work/good/setup.exe" | cut -d' ' -f1) [0-9]* setup.exe" "$work/releases"
check "a second release without signer check" "$server" publish irf https://cdn.example/irf/2 "$work/unsigned" --db "$db"
check "rolls back to the first" bash -c "'$server' rollback irf --db '$db' | grep -q 'release 1 is current again'"
check "and no further" refused "$server" rollback irf --db "$db"
checks_summary
[ "$failed" -eq 0 ]
