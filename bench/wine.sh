# Sourced by the benchmarks that also measure the Windows build.
# start_wine DIR: sets win (DIR made absolute) and wine (the launcher), points
# Wine at the prefix scripts/test-windows.sh made in DIR and starts one Wine
# server for the whole run, so that its start-up is not measured.
start_wine() {
  win=$(cd "$1" && pwd)
  wine=$(command -v wine64 || ls /usr/lib/wine/wine64 2>/dev/null || command -v wine)
  export WINEPREFIX=$win/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
  [ -f "$WINEPREFIX/system.reg" ] || { echo "no Wine prefix in $WINEPREFIX: run scripts/test-windows.sh first" >&2; exit 1; }
  wineserver -p 2>/dev/null || true  # or one runs for this prefix already
}
