#!/usr/bin/env bash
# package_e2e.sh PACKAGE_DIR [EMULATOR]: the package that check-package made, unpacked as an
# integrator would and run from there. Without a card library the driver cannot be loaded,
# and the error names the library; with the simulator put beside the driver but not chosen,
# Init finds no card and the simulator says what it is, once; chosen with --card-library, it
# serves its card although nothing lies beside the driver. On Windows, where a host loads the
# driver plainly or with the altered search path: a card library in the host's folder, beside
# the driver and in the current folder, what --list-cards says each way binds and what the
# driver then runs on; and a DLL of the other kind refused in words.
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
grep -q "qvhost: cannot load .*Qv_lvk5120x.*$lib" "$work/out" || fail "the driver was loaded"
run 1 --list-cards
grep -q "^No card library: the driver cannot be loaded: .*$lib" "$work/out" || fail "no missing library"
cp "$root/simulator/$lib" "$root/"
run 1 --ini "$ini"
rm "$root/$lib"
grep -q '^Init  *failed: Nenalezena žádná karta VODRA\.$' "$work/out" || fail "a card without asking"
[ "$(grep -c "^VODRA_OX952 simulator: .*$lib is the Qv_lvk5120x card simulator, not the maker's" \
  "$work/out")" = 1 ] || fail "the simulator did not say once what it is"
run 0 --card-library "$root/simulator/$lib" --ini "$ini" --cycles 1
grep -q '^Init  *ok' "$work/out" || fail "the chosen simulator did not serve"
[[ "$pkg" == *.zip ]] || { echo "package_e2e: $(basename "$pkg"): ok"; exit 0; }

# Windows: the host's program in one folder, the driver in another, the process in a third.
mkdir "$work/host" "$work/driver" "$work/other"
cp "$root/$host" "$work/host/"
cp "$root/Qv_lvk5120x.dll" "$work/driver/"
windows() { echo "Z:${1//\//\\}"; }  # Wine's drive Z: is the root
driver=$(windows "$work/driver/Qv_lvk5120x.dll")
# qvhost from the host's folder, its output with / for \ in $work/list or $work/out.
host_run() {
  local to=$1
  shift
  ${emulator:+"$emulator"} "$work/host/$host" "$@" >"$work/raw" 2>&1 || true
  tr -d '\r' <"$work/raw" | tr '\\' / >"$work/$to"
}
# bound WAY PLACE: --list-cards says that the driver loaded in WAY ("plain" or "altered")
# binds the library in PLACE (host, driver, or run: the current folder), and a run so loaded
# runs on it.
bound() {
  local way=$1 place=$2 option=()
  [ "$way" = altered ] && option=(--altered-search-path)
  host_run list --list-cards --driver "$driver"
  grep -Eq "^$way load +Z:.*/$place/$lib  \(in " "$work/list" ||
    { cat "$work/list"; fail "--list-cards: the $way load does not bind the library in $place"; }
  host_run out --driver "$driver" "${option[@]}" --ini "$root/examples/demo.ini"
  grep -Eq "^qvhost: card library Z:.*/$place/$lib " "$work/out" ||
    fail "qvhost, $way load: the driver did not run on the library in $place"
}
# The simulator beside the driver, the tracer in the current folder: the two ways differ.
cp "$root/simulator/$lib" "$work/driver/"
cp "$root/trace/$lib" "$work/run/"
bound plain run
grep -q '^warning: the two ways of loading the driver bind different card libraries' "$work/list" ||
  fail "no warning that the two ways differ"
grep -q "^warning: .*/driver/$lib lies beside the driver, where a host that loads the driver plainly" \
  "$work/list" || fail "no warning about the library beside the driver"
bound altered driver
# One in the host's folder too: the plain way takes it, the altered way still the driver's.
cp "$root/simulator/$lib" "$work/host/"
bound plain host
bound altered driver
rm "$work/host/$lib" "$work/driver/$lib" "$work/run/$lib"

# A DLL of the other kind (the driver with its header's machine made x86-64), in words.
cp "$root/Qv_lvk5120x.dll" "$work/other/"
nt=$(od -An -tu4 -j 60 -N 4 "$work/other/Qv_lvk5120x.dll" | tr -d ' ')
printf '\x64\x86' | dd of="$work/other/Qv_lvk5120x.dll" bs=1 seek=$((nt + 4)) conv=notrunc 2>/dev/null
run 1 --driver "$(windows "$work/other/Qv_lvk5120x.dll")" --ini "$ini"
grep -q 'is a 64-bit (x86-64) DLL, but this program is a 32-bit (x86) program: a process loads only DLLs of its own kind (error 193)$' \
  "$work/out" || fail "error 193 not in words"
echo "package_e2e: $(basename "$pkg"): no library, the simulator beside, the simulator chosen, each way of loading, error 193: ok"
