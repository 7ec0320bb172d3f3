#!/usr/bin/env bash
# Which Windows build the test command tests, with the probe's answer forced both ways: the 32-bit
# loopback build wherever 32-bit programs run, the 64-bit one elsewhere, the 32-bit loopback build
# built in both cases; and the two test presets differ only in name, folder and toolchain.
# Prints "N passed, N failed".
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
passed=0
failed=0

expect_eq() {  # ACTUAL EXPECTED WHAT
  if [ "$1" = "$2" ]; then
    passed=$((passed + 1))
  else
    echo "FAILED: $3: expected '$2', got '$1'"
    failed=$((failed + 1))
  fi
}

plan() { AK_RUN_32BIT=$1 bash "$root/scripts/test" --plan 2>&1; }

yes_plan=$(plan yes)
expect_eq "$(grep '^builds:' <<<"$yes_plan")" "builds: native win32 win32-loopback fuzz" "builds where 32-bit programs run"
expect_eq "$(grep -c 'from the 32-bit build (win32-loopback)' <<<"$yes_plan")" 1 "tested build where 32-bit programs run"

no_plan=$(plan no)
expect_eq "$(grep '^builds:' <<<"$no_plan")" "builds: native win32 win32-loopback win64 fuzz" "builds where they cannot"
expect_eq "$(grep -c 'from the 64-bit build (win64)' <<<"$no_plan")" 1 "tested build where they cannot"

AK_RUN_32BIT=maybe bash "$root/scripts/test" --plan >/dev/null 2>&1
expect_eq "$?" 1 "an unknown forced answer stops the test command"

# The probe's program is the one the toolchain makes from its source (where a toolchain is here).
if command -v as >/dev/null && command -v ld >/dev/null; then
  work=$(mktemp -d)
  printf '.globl _start\n_start: movl $1, %%eax\n xorl %%ebx, %%ebx\n int $0x80\n' >"$work/probe.s"
  as --32 -o "$work/probe.o" "$work/probe.s" && ld -m elf_i386 -N -s --build-id=none -o "$work/probe" "$work/probe.o" 2>/dev/null
  (source "$root/scripts/windows-builds" && printf '%b' "$(sed 's/../\\x&/g' <<<"$_probe_program_hex")") >"$work/written"
  expect_eq "$(cmp -s "$work/probe" "$work/written" && echo same)" same "the probe's 32-bit program"
  rm -rf "$work"
fi

# Unforced, the choice follows this machine's probe.
# shellcheck source=scripts/windows-builds
source "$root/scripts/windows-builds"
if can_run_32bit_programs; then probed=win32-loopback; else probed=win64; fi
expect_eq "$(AK_RUN_32BIT='' windows_test_preset)" "$probed" "unforced choice"

# The harness of the scenarios, the demo and the benchmarks picks the same build.
expect_eq "$(AK_RUN_32BIT=yes bash -c "source '$root/tests/e2e/e2e-lib.sh'; echo \$E2E_BUILD")" \
  "$root/build/win32-loopback" "end-to-end build where 32-bit programs run"
expect_eq "$(AK_RUN_32BIT=no bash -c "source '$root/tests/e2e/e2e-lib.sh'; echo \$E2E_BUILD")" \
  "$root/build/win64" "end-to-end build where they cannot"

# Resolved presets: the two test builds share every cache variable; the product keeps production hosts.
presets=$(python3 - "$root/CMakePresets.json" <<'PY'
import json, sys
presets = {p["name"]: p for p in json.load(open(sys.argv[1]))["configurePresets"]}
def resolved(name):
    p = presets[name]
    merged = {}
    for parent in ([p["inherits"]] if isinstance(p.get("inherits"), str) else p.get("inherits", [])):
        merged.update(resolved(parent))
    merged.update({k: v for k, v in p.items() if k != "cacheVariables"})
    merged["cacheVariables"] = {**merged.get("cacheVariables", {}), **p.get("cacheVariables", {})}
    return merged
a, b, product = resolved("win32-loopback"), resolved("win64"), resolved("win32")
print("same-cache" if a["cacheVariables"] == b["cacheVariables"] else "different-cache")
print("same-toolchain" if a["toolchainFile"] == product["toolchainFile"] else "other-toolchain")
print("production-hosts" if "AK_SERVER_HOST" not in product["cacheVariables"] else "test-hosts")
PY
)
expect_eq "$(xargs <<<"$presets")" "same-cache same-toolchain production-hosts" "presets"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
