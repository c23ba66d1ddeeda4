#!/usr/bin/env bash
# Cross-builds QUORVANT.EXE, VESKOL.EXE and QVADMIN.EXE with mingw-w64 into build-win/,
# checks their import tables and runs the end-to-end drivers of
# tests/e2e/drivers.txt marked windows against them under Wine. Without mingw-w64 or Wine it says so and skips, unless REQUIRE_WINE=1
# (CI), which makes a skipped suite a failure.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

skip() {
  if [ "${REQUIRE_WINE:-0}" = 1 ]; then
    echo "FAILED: Windows suite required (REQUIRE_WINE=1), but $1" >&2
    exit 1
  fi
  echo "SKIPPED: Windows suite not run: $1"
  exit 0
}

command -v x86_64-w64-mingw32-g++ >/dev/null || skip "mingw-w64 is not installed (apt-get install g++-mingw-w64-x86-64)"
command -v x86_64-w64-mingw32-objdump >/dev/null || skip "x86_64-w64-mingw32-objdump is not installed (binutils-mingw-w64-x86-64)"
wine=$(command -v wine64 || ls /usr/lib/wine/wine64 2>/dev/null || command -v wine || true)
[ -n "$wine" ] && command -v wineserver >/dev/null && command -v wineboot >/dev/null ||
  skip "Wine is not installed (apt-get install wine wine64)"

cmake --preset windows >/dev/null
cmake --build --preset windows
# The suite's own helper, outside the default build and the package.
cmake --build --preset windows --target lock_holder

checker=build-win/checker/QUORVANT.EXE
analyser=build-win/analyser/VESKOL.EXE
admin=build-win/admin/QVADMIN.EXE
lock_holder=build-win/tests/windows/LOCKHOLD.EXE
exes=("$checker" "$analyser" "$admin")

passed=0
failed=0
tally() {  # reads a driver's closing line "N passed, N failed"
  local line
  line=$(tail -n 1 "$1")
  if [[ $line =~ ^([0-9]+)\ passed,\ ([0-9]+)\ failed$ ]]; then
    passed=$((passed + BASH_REMATCH[1]))
    failed=$((failed + BASH_REMATCH[2]))
  else
    failed=$((failed + 1))
  fi
}
log=build-win/suite-output
mkdir -p "$log"

echo "== import tables"
{
  scripts/check-imports.sh "${exes[@]}" && ok=1 || ok=0
  # The check must refuse what a default (dynamic) link of a C++ program imports.
  mkdir -p build-win/import-check
  printf '#include <iostream>\nint main() { std::cout << 1; }\n' >build-win/import-check/dynamic.cc
  x86_64-w64-mingw32-g++ build-win/import-check/dynamic.cc -o build-win/import-check/DYNAMIC.EXE
  if scripts/check-imports.sh build-win/import-check/DYNAMIC.EXE >/dev/null; then
    echo "FAIL the check passed a dynamically linked C++ program"
    refused=0
  else
    echo "ok   the check refuses a dynamically linked C++ program"
    refused=1
  fi
  # WS2_32.DLL is QVADMIN's alone: the same bytes under another name are refused.
  cp "$admin" build-win/import-check/QUORVANT.EXE
  if scripts/check-imports.sh build-win/import-check/QUORVANT.EXE >/dev/null; then
    echo "FAIL the check passed WS2_32.DLL in an executable other than QVADMIN.EXE"
  else
    echo "ok   the check refuses WS2_32.DLL in an executable other than QVADMIN.EXE"
    refused=$((refused + 1))
  fi
  # So is ADVAPI32.DLL: a program that asks for the account name is refused as VESKOL.EXE.
  printf '#include <windows.h>\nint main() { char n[64]; DWORD s = sizeof n; return GetUserNameA(n, &s); }\n' \
    >build-win/import-check/account.cc
  x86_64-w64-mingw32-g++ -static build-win/import-check/account.cc -o build-win/import-check/VESKOL.EXE -ladvapi32
  if scripts/check-imports.sh build-win/import-check/VESKOL.EXE >/dev/null; then
    echo "FAIL the check passed ADVAPI32.DLL in an executable other than QVADMIN.EXE"
  else
    echo "ok   the check refuses ADVAPI32.DLL in an executable other than QVADMIN.EXE"
    refused=$((refused + 1))
  fi
  echo "$((ok + refused)) passed, $((4 - ok - refused)) failed"
} | tee "$log/imports"
tally "$log/imports"

# One quiet prefix under the build tree, one persistent wineserver for the run.
export WINEPREFIX=$root/build-win/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64
start=$(date +%s%N)
mkdir -p "$WINEPREFIX"
wineserver -p 2>/dev/null || true  # one may be left from an interrupted run
trap 'wineserver -k 2>/dev/null || true' EXIT
# wineboot also starts Wine's background services. Started by the first test
# run instead, they would inherit its output pipe and hold it open until the
# server ends, so that run would seem to hang.
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "== initialising the Wine prefix $WINEPREFIX"
  wineboot -i </dev/null >/dev/null 2>&1 || true
else
  wineboot </dev/null >/dev/null 2>&1 || true
fi
ready=$(date +%s%N)

drive() {  # name, driver, arguments...
  local name=$1
  shift
  echo "== $name"
  python3 "$@" 2>&1 | tee "$log/$name" || true
  tally "$log/$name"
}
# The native QVADMIN, to compare bytes with: the native build's own, brought
# up to date (scripts/test.sh has just built it), configured only when missing.
[ -f build/build.ninja ] || cmake --preset release >/dev/null
cmake --build --preset release --target qvadmin >/dev/null
native_admin=build/admin/QVADMIN
zip_file=dist/quorvant-veskol-windows.zip
if command -v zip >/dev/null; then
  scripts/package.sh >/dev/null
else
  zip_file=""
fi
# Every row of the drivers' table marked windows.
while read -r name runs _ driver args <&3; do
  [[ $name =~ ^[a-z] && $runs == windows ]] || continue
  if [[ $args == *"{zip}"* && -z $zip_file ]]; then
    if [ "${REQUIRE_WINE:-0}" = 1 ]; then
      echo "FAIL $name cannot run: zip is not installed"
      failed=$((failed + 1))
    else
      echo "SKIPPED: $name is not run: zip is not installed"
    fi
    continue
  fi
  args=${args//\{checker\}/$checker}
  args=${args//\{analyser\}/$analyser}
  args=${args//\{admin\}/$admin}
  args=${args//\{lock_holder\}/$lock_holder}
  args=${args//\{native_admin\}/$native_admin}
  args=${args//\{zip\}/$zip_file}
  # shellcheck disable=SC2086  # the arguments are words without spaces
  drive "$name" "tests/e2e/$driver" $args --launcher "$wine" --windows
done 3<tests/e2e/drivers.txt
end=$(date +%s%N)

tenths() { echo "$(($1 / 1000000000)).$(($1 / 100000000 % 10))"; }
echo "Windows suite under Wine: $((passed + failed)) cases in $(tenths $((end - ready))) s" \
  "(prefix and wineserver start-up $(tenths $((ready - start))) s)"
echo "windows: $passed passed, $failed failed"
[ "$failed" -eq 0 ] && [ "$passed" -gt 0 ]
