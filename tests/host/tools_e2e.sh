#!/usr/bin/env bash
# tools_e2e.sh QVHOST TESTS_DIR SIMULATOR MINIMAL TRACER EARLIER [EMULATOR]: the integrator's
# tools as a person uses them: the card list on a system with several cards, a template saved
# and checked, a library that faults, each kind of card library named (EARLIER: our simulator
# as shipped before its mark), and parameter files with faults or in the wrong code page,
# each checked against what Init makes of it.
set -euo pipefail
qvhost=$1 here=$2 sim=$3 minimal=$4 tracer=$5 earlier=$6
emulator=${7:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
run() { if [ -n "$emulator" ]; then "$emulator" "$qvhost" "$@"; else "$qvhost" "$@"; fi; }
fail() { echo "tools_e2e: $*"; [ -f "$work/out" ] && cat "$work/out"; exit 1; }
# expect STATUS PATTERN... -- ARGS...: the exit status, and each pattern in the output (one
# starting with "!": not in it).
expect() {
  local want=$1 patterns=()
  shift
  while [ "$1" != -- ]; do patterns+=("$1"); shift; done
  shift
  local status=0
  run "$@" >"$work/out" 2>&1 || status=$?
  tr -d '\r' <"$work/out" >"$work/out.txt"
  [ $status = "$want" ] || fail "qvhost $*: exit status $status, expected $want"
  for p in "${patterns[@]}"; do
    if [ "${p:0:1}" = '!' ]; then
      if grep -Eq -- "${p:1}" "$work/out.txt"; then fail "qvhost $*: /${p:1}/"; fi
    else
      grep -Eq -- "$p" "$work/out.txt" || fail "qvhost $*: no /$p/"
    fi
  done
  echo "ok: qvhost $*"
}
# --check predicts Init: for each file, Init (on the simulated cards) gives the text that
# --check says the driver gives, and a refusal comes with a problem that explains it.
# check STATUS PATTERN... FILE
check() {
  local status=$1 file=${*: -1}
  local patterns=("${@:2:$#-2}")
  expect "$status" "${patterns[@]}" '!refused, 0 problems' -- --check "$file"
  local said
  said=$(sed -n 's/^driver says: //p' "$work/out.txt")
  expect "$status" -- --ini "$file"
  if [ "$said" = "Bez chyby" ]; then said="ok ($file)"; else said="failed: $said"; fi
  grep -qxF "Init           $said" "$work/out.txt" || fail "--check and Init differ on $file"
}

export VODRA_OX952_SIM=$here/cards.sim
VODRA_OX952_TRACE=$work/list.trace expect 0 \
  "^card library  .*  \(Qv_lvk5120x card simulator, not the maker's library\)$" \
  '^ +0  513 +\(0x201\)  not of this family +1 +4  -$' \
  '^ +1  512 +\(0x200\)  LVK-5120B +2 +13  free$' \
  '^ +2  528 +\(0x210\)  LVK-5120C +3 +1  in use \(OX952_Open gives 3\)$' \
  '^ +3  530 +\(0x212\)  LVK-5120E +5 +2  free$' 'First free card: LVK-5120B at bus 2, slot 13' \
  '^VODRA_OX952 simulator: .* presents simulated cards because VODRA_OX952_SIM=.*cards\.sim chose it\.$' \
  -- --list-cards
# Every card it opened it closed again.
opened=$(tr -d '\r' <"$work/list.trace" | grep -c '^OX952_Open(.*) = 0$' || true)
closed=$(tr -d '\r' <"$work/list.trace" | grep -c '^OX952_Close(.*) = 0$' || true)
[ "$opened" = 2 ] && [ "$closed" = 2 ] || fail "--list-cards opened $opened cards, closed $closed"
# The maker's library (any without our mark; the minimal one stands in), and our tracer with
# the library behind it.
expect 0 "^card library  .*  \(the maker's library\)$" \
  '^warning: VODRA_OX952_SIM is set, but the card library is not the Qv_lvk5120x card simulator' \
  -- --list-cards --card-library "$minimal"
expect 0 "^card library  .*  \(an earlier Qv_lvk5120x card simulator, not the maker's library" \
  '!warning' -- --list-cards --card-library "$earlier"
VODRA_OX952_REAL=$sim expect 0 "^card library  .*  \(Qv_lvk5120x tracing card library, in front \
of .*: Qv_lvk5120x card simulator, not the maker's library\)$" -- --list-cards --card-library "$tracer"
# A parameter file for the first free card, saved, checked and run on.
status=0
run --list-cards --ini-template >"$work/card.ini" 2>"$work/list.txt" || status=$?
[ $status = 0 ] || fail "--ini-template: exit status $status"
grep -q 'LVK-5120B' "$work/list.txt" || fail "--ini-template: the list is not on stderr"
if tr -d '\r' <"$work/card.ini" | cmp -s - "$work/card.ini"; then fail "template without CR LF"; fi
if grep -q $'[^\r]$' "$work/card.ini"; then fail "a template line without CR LF"; fi
printf '[Nastaven\xed karty]' | grep -qaF -f - "$work/card.ini" || fail "template not in Windows-1250"
cmp -s "$work/card.ini" "$here/template.ini" || fail "the template differs from template.ini"
check 0 '^\[Nastavení karty\] BUS = "2"' '^\[Nastavení karty\] SLOT = "13"' \
  'driver says: Bez chyby' 'accepted, 0 problems' "$work/card.ini"

# Only 1 chooses the default card.
VODRA_OX952_SIM='' VODRA_OX952_SIM_DEFAULT=0 expect 1 'The card library reports no cards' \
  'nothing chose it \(VODRA_OX952_SIM_DEFAULT=0 does not: only 1 chooses it\)' -- --list-cards

printf 'card 513 1 4\ncard 528 3 1 in-use\n' >"$work/busy.sim"
VODRA_OX952_SIM=$work/busy.sim expect 1 'in use' 'Every LVK-5120B, C or E card is in use' \
  -- --list-cards
# A family card whose bus or slot cannot be read is listed, but not offered.
printf 'card 512 2 13\ncard 528 3 1\ncard 530 5 2\nfault Card_BUS 1 7\nfault Card_SLOT 2 7\n' \
  >"$work/unread.sim"
VODRA_OX952_SIM=$work/unread.sim expect 0 '^ +0  512 .*LVK-5120B +\? +13  free$' \
  '^ +1  528 .*LVK-5120C +3 +\?  free$' 'First free card: LVK-5120E at bus 5, slot 2' -- --list-cards
printf 'card 513 1 4\n' >"$work/other.sim"
VODRA_OX952_SIM=$work/other.sim expect 1 'None of the 1 cards is an LVK-5120B, C or E' \
  -- --list-cards
# A failed count ends the list.
printf 'card 512 2 13\nfault CardsInSystem 1 7\n' >"$work/count.sim"
VODRA_OX952_SIM=$work/count.sim expect 1 \
  'OX952_CardsInSystem failed with 7: the driver would report "Chyba volání knihovny VODRA_OX952\."' \
  '!^(index|The card library|None of|Every|First free)' -- --list-cards
printf 'card 512 2 13\nraise access-violation\n' >"$work/raise.sim"
VODRA_OX952_SIM=$work/raise.sim expect 1 \
  'OX952_CardsInSystem raised a fault or an exception.*Chyba volání knihovny VODRA_OX952\.' \
  -- --list-cards

# Init writes the log files of the files with logging on here; a parameter file is named with
# its folder, since Windows looks for a bare name in its own folder.
cd "$work"
check 1 'BUS = "300" +-> 300, out of range 0\.\.255  <- problem' \
  'CNT2CWReg = "\$100" +-> 256, out of range 0\.\.255  <- problem' \
  'line 6: key SLOT is written twice; the driver takes line 5' \
  'line 11: key Demo režim sits in \[Logovací soubor\], where the driver does not read it' \
  "log file's folder no-such-folder does not exist" \
  'driver says: Chyba parametrického souboru - Nastavení karty / BUS = 300\.$' \
  'refused, 5 problems found' "$here/faults.ini"
# Names in UTF-8 are the one finding: no notes on the sections they make unknown.
check 1 'line 4: section \[Nastavení karty\] is written in UTF-8' \
  'line 5: key Automatická detekce is written in UTF-8' '!note:' \
  'driver says: Chybný parametrický soubor\.$' "$here/utf8.ini"
check 0 'Automatická detekce = "JKL" +-> not a number: keeps the default 1, ok$' \
  '^\[Konfigurace karty\] CNTEnReg = "7" +-> 7, ok$' \
  '^\[Logovací soubor\] CMPEnReg = "5" +-> 5, ok$' '^\[Logovací soubor\] CNT0CWReg = "5" +-> 5, ok$' \
  '!not read|does not read|has no' \
  'line 6: key BUS is written twice; the driver takes line 5' \
  'line 16: key CNT0CWReg is written twice; the driver takes line 15' 'accepted, 2 problems' \
  "$here/sections.ini"
# The card's choice missing is a problem of its own.
printf '[Nastaven\xed karty]\r\nBUS=2\r\nSLOT=13\r\n' >noauto.ini
check 1 'Automatická detekce = \(absent\) .*<- problem$' 'refused, 1 problem found' "$work/noauto.ini"
# A name without a folder: the Windows profile functions read it from the Windows folder.
if [ -n "$emulator" ]; then
  expect 1 '^note: noauto\.ini has no folder: the driver reads it from the Windows folder, .*\\noauto\.ini$' \
    -- --check noauto.ini
fi
# The reader's value ends at a zero byte.
printf '[Nastaven\xed karty]\r\nAutomatick\xe1 detekce=0\r\nBUS=300\0x\r\nSLOT=13\r\n' >zero.ini
check 1 'BUS = "300" +-> 300, out of range' 'refused, 1 problem found' "$work/zero.ini"
printf '\xef\xbb\xbf[Nastaven\xc3\xad karty]\r\nBUS=2\r\n' >bom.ini
check 1 'problem: the file starts with a UTF-8 byte order mark' "$work/bom.ini"
# Logging on into an existing file of the default name, and any non-zero demo mode.
printf '[Nastaven\xed karty]\r\nAutomatick\xe1 detekce=1\r\nDemo re\x9eim=2\r\n' >log.ini
printf '[Logovac\xed soubor]\r\nPovolen=1\r\n' >>log.ini
: >Qv_lvk5120x.log
check 0 'Název souboru = \(absent\) +-> default Qv_lvk5120x\.log$' \
  'Demo režim = "2" +-> 2: demo mode, no card is used$' 'accepted, 0 problems' "$work/log.ini"
# The log file name's minimum of three characters, met and missed by one.
for name in abc ab; do
  printf '[Nastaven\xed karty]\r\nAutomatick\xe1 detekce=1\r\n[Logovac\xed soubor]\r\n' >"$name.ini"
  printf 'Povolen=1\r\nN\xe1zev souboru=%s\r\n' "$name" >>"$name.ini"
done
check 0 'Název souboru = "abc" +-> ok$' 'accepted, 0 problems' "$work/abc.ini"
check 1 'Název souboru = "ab" +-> too short' 'refused, 1 problem found' "$work/ab.ini"
# A file that cannot be read (none, or a folder) is the one finding.
for unreadable in "$work/none.ini" "$work"; do
  check 1 'the file cannot be read' '!absent' 'refused, 1 problem found' "$unreadable"
done
