#!/usr/bin/env bash
# package_e2e.sh PACKAGE_DIR [EMULATOR]: the package that check-package made, unpacked as an
# integrator would and run from there. Without a card library the driver cannot be loaded;
# with the simulator put beside the driver but not chosen, Init finds no card and the
# simulator says what it is, once; chosen with --card-library, it serves its card although
# nothing lies beside the driver.
set -euo pipefail
pkg=$(ls "$1"/Qv_lvk5120x-*.zip "$1"/Qv_lvk5120x-*.tar.gz 2>/dev/null | head -n 1 || true)
emulator=${2:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "package_e2e: $*"; cat "$work/out"; exit 1; }
[ -n "$pkg" ] || fail "no package in $1"
case "$pkg" in
*.zip) (cd "$work" && cmake -E tar xf "$pkg") && lib=VODRA_OX952.DLL host=qvhost.exe ;;
*) tar -xzf "$pkg" -C "$work" && lib=libvodra_ox952.so host=qvhost ;;
esac
root=$(ls -d "$work"/Qv_lvk5120x-*/)
# Nothing of the process asks for the simulator, and its working folder holds no library.
unset VODRA_OX952_SIM VODRA_OX952_SIM_DEFAULT VODRA_OX952_REPLAY VODRA_OX952_TRACE
mkdir "$work/run"
cd "$work/run"
ini=$root/examples/autodetect.ini
# run STATUS ARGS...: qvhost from the package, its output (CR removed) in $work/out.
run() {
  local want=$1 status=0
  shift
  ${emulator:+"$emulator"} "$root/$host" "$@" >"$work/raw" 2>&1 || status=$?
  tr -d '\r' <"$work/raw" >"$work/out"
  [ $status = "$want" ] || fail "qvhost $*: exit status $status, expected $want"
}

run 1 --ini "$ini"
grep -q 'qvhost: cannot load .*Qv_lvk5120x' "$work/out" || fail "the driver was loaded"
run 1 --list-cards
grep -q "No card library: $lib cannot be loaded" "$work/out" || fail "no missing library"
cp "$root/simulator/$lib" "$root/"
run 1 --ini "$ini"
rm "$root/$lib"
grep -q '^Init  *failed: Nenalezena žádná karta VODRA\.$' "$work/out" || fail "a card without asking"
[ "$(grep -c "^VODRA_OX952 simulator: .*$lib is the Qv_lvk5120x card simulator, not the maker's" \
  "$work/out")" = 1 ] || fail "the simulator did not say once what it is"
run 0 --card-library "$root/simulator/$lib" --ini "$ini" --cycles 1
grep -q '^Init  *ok' "$work/out" || fail "the chosen simulator did not serve"
echo "package_e2e: $(basename "$pkg"): no library, the simulator beside, the simulator chosen: ok"
