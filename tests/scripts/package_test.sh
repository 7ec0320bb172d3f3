#!/usr/bin/env bash
# The publisher's packaging step on a real program of this build, with throw-away certificates made
# for the test: the signed copy verifies under its root, the build's own file stays unsigned, and a
# tampered copy, a foreign root, a key that is not the certificate's, or missing arguments all fail
# without leaving a signed file behind. Prints "N passed, N failed".
# Signing a whole build signs the downloader and the service's installer, and writes the signed
# installer's gzip-encoded copy for the installer server.
# The service program inside the signed installer is signed too.
#   tests/scripts/package_test.sh PROGRAM.exe INSTALLER.exe BUILD_DIR
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
program=$1
installer=$2
build=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# shellcheck source=tests/support/checks.sh
source "$root/tests/support/checks.sh"

package() { bash "$root/scripts/package" "$@" >"$work/out.txt" 2>&1; }
said() { grep -qF -- "$1" "$work/out.txt"; }

bash "$root/tests/support/make-test-pki" "$work/pki"
pki=$work/pki
cp "$program" "$work/downloader.exe"
original=$(sha256sum <"$work/downloader.exe")

package sign --cert "$pki/signer.pem" --key "$pki/signer.key" --ca "$pki/root.pem" --program "$work/downloader.exe" \
  --no-timestamp --out "$work/dist"
check "signing succeeds" test $? -eq 0
check "signing reports the signer" said "signature ok (/CN=Tessel Test Publisher)"
check "the signed copy is in the distribution folder" test -f "$work/dist/downloader.exe"
check "the build's own file stays as it was" test "$(sha256sum <"$work/downloader.exe")" = "$original"
check "the signed copy verifies under the test root" \
  bash -c "osslsigncode verify -CAfile '$pki/root.pem' -in '$work/dist/downloader.exe' >/dev/null 2>&1"
check "it is signed with SHA-256" \
  bash -c "osslsigncode verify -CAfile '$pki/root.pem' -in '$work/dist/downloader.exe' 2>&1 | grep -q 'Message digest algorithm *: SHA256'"

package verify --ca "$pki/root.pem" "$work/dist/downloader.exe"
check "verify accepts the signed copy" test $? -eq 0

cp "$work/dist/downloader.exe" "$work/tampered.exe"
printf '\xCC' | dd of="$work/tampered.exe" bs=1 seek=2000 conv=notrunc status=none
package verify --ca "$pki/root.pem" "$work/tampered.exe"
check "verify refuses a tampered copy" test $? -ne 0
check "the refusal names the file" said "the signature of $work/tampered.exe does not verify"

package verify --ca "$pki/stranger-root.pem" "$work/dist/downloader.exe"
check "verify refuses a chain to a root it was not given" test $? -ne 0

package verify --ca "$pki/root.pem" "$work/downloader.exe"
check "verify refuses an unsigned file" test $? -ne 0

package sign --cert "$pki/signer.pem" --key "$pki/other-signer.key" --program "$work/downloader.exe" --no-timestamp \
  --out "$work/bad"
check "a key that is not the certificate's fails" test $? -ne 0
check "and leaves no signed file" test ! -e "$work/bad/downloader.exe"

package sign --cert "$pki/stranger-signer.pem" --key "$pki/stranger-signer.key" --ca "$pki/root.pem" \
  --program "$work/downloader.exe" --no-timestamp --out "$work/stranger"
check "a certificate that does not chain to the given root fails" test $? -ne 0
check "and leaves no signed file" test ! -e "$work/stranger/downloader.exe"

package sign --key "$pki/signer.key" --program "$work/downloader.exe" --no-timestamp --out "$work/none"
check "signing without a certificate fails" test $? -ne 0
check "and says what is missing" said "give --cert and --key (or --pkcs12)"

# Signatures that would stop verifying when the certificate expires are not made unless asked for.
package sign --cert "$pki/signer.pem" --key "$pki/signer.key" --ca "$pki/root.pem" --program "$work/downloader.exe" \
  --out "$work/untimed"
check "signing without a timestamp server is refused" test $? -ne 0
check "and says why" said "give --timestamp URL"
check "and leaves no signed file" test ! -e "$work/untimed/downloader.exe"

# A build whose downloader would open or run installers signed by anyone is not packaged.
mkdir -p "$work/open-build/settings"
printf '#define AK_INSTALLER_SIGNER ""\n#define AK_SERVICE_SIGNER "Tessel Test Publisher"\n' \
  >"$work/open-build/settings/build_settings.h"
package sign --cert "$pki/signer.pem" --key "$pki/signer.key" --build "$work/open-build" --no-timestamp
check "a build without the game installer's signer is refused" test $? -ne 0
check "and the refusal names the setting" said "the build leaves AK_INSTALLER_SIGNER empty"
package sign --cert "$pki/signer.pem" --key "$pki/signer.key" --build "$work/open-build" --no-timestamp --allow-unsigned
check "--allow-unsigned goes past that check (and stops at the missing programs)" said "does not exist (build it first)"
check "leaving nothing signed" test ! -e "$work/open-build/dist/downloader.exe"

openssl pkcs12 -export -in "$pki/signer.pem" -inkey "$pki/signer.key" -passout pass:secret -out "$work/signer.pfx"
printf 'secret\n' >"$work/pass.txt"
package sign --pkcs12 "$work/signer.pfx" --password-file "$work/pass.txt" --ca "$pki/root.pem" \
  --program "$work/downloader.exe" --no-timestamp --out "$work/pfx"
check "a PKCS#12 file with its password signs too" test $? -eq 0

# A whole build (this one): both programs a publisher ships, the service program inside the
# installer signed before it went in, and the hosted form of the installer.
installer_before=$(sha256sum <"$installer")
package sign --cert "$pki/signer.pem" --key "$pki/signer.key" --ca "$pki/root.pem" --build "$build" --no-timestamp \
  --out "$work/dist-build"
check "signing a build succeeds" test $? -eq 0
dist=$work/dist-build
check "the build's downloader is signed into dist" \
  bash -c "osslsigncode verify -CAfile '$pki/root.pem' -in '$dist/downloader.exe' >/dev/null 2>&1"
check "the build's installer is signed into dist" \
  bash -c "osslsigncode verify -CAfile '$pki/root.pem' -in '$dist/download-service-setup.exe' >/dev/null 2>&1"
check "the service program it carries is the signed one" python3 -c '
import sys
installer = open(sys.argv[1], "rb").read()
service = open(sys.argv[2], "rb").read()
sys.exit(0 if len(service) > 100000 and service in installer else 1)' "$dist/download-service-setup.exe" \
  "$build/service/signed/download-service.exe"
check "and that program verifies under the test root" \
  bash -c "osslsigncode verify -CAfile '$pki/root.pem' -in '$build/service/signed/download-service.exe' >/dev/null 2>&1"
check "the build's own installer is left as it was" test "$(sha256sum <"$installer")" = "$installer_before"
check "the hosted installer is the signed one, gzip-encoded" \
  bash -c "gzip -dc '$dist/download-service-setup.exe.gz' | cmp -s - '$dist/download-service-setup.exe'"

checks_summary
[ "$failed" -eq 0 ]
