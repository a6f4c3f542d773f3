#!/usr/bin/env bash
# trace_e2e.sh QVHOST DRIVER SIMULATOR MINIMAL FAILING_BASE TRACE_DIR REAL_NAME INI CARDS
#              [EMULATOR]
# The tracing library in front of the simulator, as an integrator would set it up: the
# driver and the tracer in one folder, the simulator beside them under the real library's
# default name. Checks that the tracer's lines equal the simulator's own, that the driver
# sees the same through it, that a fault in the library still reaches the driver's guard,
# that a failing call's out-arguments are shown as it left them, that a missing real
# library is a message, not a crash, and that the simulator replays a recorded trace and
# reports, in one line each and with qvhost's status 3, where a replay differs. Two
# processes may trace into one file at once, and a run after a half-written last line is
# kept; --trace-runs lists the runs.
set -euo pipefail
qvhost=$1 driver=$2 sim=$3 minimal=$4 failing_base=$5 tracedir=$6 realname=$7 ini=$8 cards=$9
emulator=${10:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The tracer beside a copy of the driver is found by a host that loads the driver with the
# altered search path (on Linux through the driver's RUNPATH, the one way).
run() { ${emulator:+"$emulator"} "$qvhost" --altered-search-path "$@"; }
cp "$driver" "$tracedir/"
cp "$sim" "$tracedir/$realname"
traced_driver="$tracedir/$(basename "$driver")"
cycle=(--ini "$ini" --cycles 3 --period 0 --out 6=1000 --out 24=7 --out 52=1)
stamp='^[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}\.[0-9]{3} \[[0-9]+\] '
fail() { echo "trace_e2e: $*"; exit 1; }
# Output without the lines that name the card library and why the simulator serves.
unnamed() { tr -d '\r' | { grep -v -e '^qvhost: card library ' -e ' chose it\.$' || true; }; }

export VODRA_OX952_SIM=$cards
# The simulator writes its own trace to the same file, between the tracer's lines.
VODRA_OX952_TRACE=$work/through.txt run --driver "$traced_driver" "${cycle[@]}" >"$work/through.out"
VODRA_OX952_TRACE=$work/direct.txt run --driver "$driver" "${cycle[@]}" >"$work/direct.out"
tr -d '\r' <"$work/through.txt" | grep -Ev "$stamp" >"$work/sim.txt"
tr -d '\r' <"$work/through.txt" | grep -E "$stamp" | sed -E "s/$stamp//" | grep -v ' \.\.\.$' |
  grep -v '^# ' >"$work/tracer.txt"
tr -d '\r' <"$work/through.txt" | sed -n '1p;$p' | sed -E "s/$stamp//" | tr '\n' ' ' |
  grep -Eq '^# process ([0-9]+) starts # process \1 ends cleanly $' || fail "run not marked"
tr -d '\r' <"$work/direct.txt" >"$work/direct-sim.txt"
[ "$(wc -l <"$work/tracer.txt")" -gt 50 ] || fail "too few traced calls"
diff "$work/sim.txt" "$work/tracer.txt" || fail "tracer and simulator disagree"
diff "$work/direct-sim.txt" "$work/tracer.txt" || fail "the calls differ without the tracer"
diff "$work/direct.out" "$work/through.out" || fail "the driver saw something else"
grep -q 'cycle 3' "$work/through.out" || fail "no cycle ran"
echo "$(wc -l <"$work/tracer.txt") calls traced, equal to the simulator's trace"

# Replayed on a system without cards, the host sees what it saw when recording: from the
# tracer's trace (time stamps, first lines of calls, the simulator's own lines between) and
# from the simulator's own. The monitor window reads no card.
: >"$work/no-cards.sim"
VODRA_OX952_SIM=$work/no-cards.sim VODRA_OX952_REPLAY=$work/through.txt \
  run --driver "$driver" "${cycle[@]}" --monitor >"$work/replay.out"
diff "$work/through.out" "$work/replay.out" || fail "the replay of the tracer's trace differs"
VODRA_OX952_SIM=$work/no-cards.sim VODRA_OX952_REPLAY=$work/direct.txt \
  run --driver "$driver" "${cycle[@]}" >"$work/replay.out"
diff "$work/direct.out" "$work/replay.out" || fail "the replay of the simulator's trace differs"
echo "replayed: the host's output is the recorded one"

# replay_report TRACE WHERE TEXT [QVHOST ARGS]: the replay stops with one report on stderr
# and in the simulator's trace, naming the line (WHERE), and qvhost exits with 3; no crash.
replay_report() {
  local trace=$1 where=$2 text=$3 status=0 args=("${cycle[@]}")
  shift 3
  [ $# = 0 ] || args=("$@")
  rm -f "$work/replay-trace.txt"
  VODRA_OX952_SIM=$work/no-cards.sim VODRA_OX952_REPLAY=$trace \
    VODRA_OX952_TRACE=$work/replay-trace.txt run --driver "$driver" "${args[@]}" \
    >/dev/null 2>"$work/report" || status=$?
  [ $status = 3 ] || fail "replay of $trace: exit status $status"
  local report
  report=$(unnamed <"$work/report")
  [ "$(grep -c . <<<"$report")" = 1 ] || fail "replay of $trace: not one report: $report"
  grep -Eq "^VODRA_OX952 simulator: replay of [^ ]*$where: $text" <<<"$report" ||
    fail "replay of $trace: expected $where: $text, got: $report"
  grep -qF "# ${report#VODRA_OX952 simulator: }" "$work/replay-trace.txt" || fail "report not traced"
  echo "$report"
}
lines() { tr -d '\r' <"$1" | grep -nE "$2" | cut -d: -f1; }
# The preset written as 1001, not 1000: its low byte is the first write to differ.
n=$(lines "$work/through.txt" "${stamp}OX952_MemWrite\(0x[0-9A-F]{4}0200, 0, 0xE8\) = 0$" | head -1)
replay_report "$work/through.txt" ", line $n" \
  "the calls differ: the trace holds .*0xE8\) = 0; came .*0xE9\)" "${cycle[@]/6=1000/6=1001}"
head -n 100 "$work/direct.txt" >"$work/short.txt"
replay_report "$work/short.txt" ", after line 100" "the trace ends; came OX952_"
# Control bytes and a zero byte in a line are shown escaped, in the one line of the report.
n=$(lines "$work/through.txt" "${stamp}OX952_MemRead\(.* = 0x" | sed -n 30p)
sed "${n}s/= 0x/= \x1b[2J\x00/" "$work/through.txt" >"$work/garbled.txt"
replay_report "$work/garbled.txt" ", line $n" \
  "not a trace line: \"[-0-9 :.[]*\] OX952_MemRead\(.*= \\\\x1B\[2J\\\\x00"
n=$(lines "$work/through.txt" "${stamp}OX952_MemRead\(.* \.\.\.$" | sed -n 40p)
head -n "$n" "$work/through.txt" >"$work/died.txt"
replay_report "$work/died.txt" ", line $n" "the site's process died in this call, which never returned"
# A host's run that makes fewer calls than the trace holds (here none, in demo mode).
replay_report "$work/through.txt" ", line 4" \
  "the host's run ended, but the trace goes on: [0-9]+ calls left, from OX952_CardsInSystem" \
  --ini "$(dirname "$ini")/demo.ini"
# A pipe would wait for a writer: refused at once, as anything but a regular file (Wine
# shows no pipe to a Windows program, which then finds no file).
mkfifo "$work/fifo"
replay_report "$work/fifo" "" "the file cannot be (replayed: it is a pipe|opened: No such file)"
# Every mode of qvhost that loads the card library: --list-cards too.
replay_report "$work/through.txt" ", line [0-9]+" \
  "the calls differ: the trace holds OX952_Card_DID\(1, .*; came OX952_Card_BUS" --list-cards

# A trace saved by an editor that adds a byte-order mark and CR LF replays the same.
{ printf '\xEF\xBB\xBF'; tr -d '\r' <"$work/through.txt" | sed 's/$/\r/'; } >"$work/bom.txt"
VODRA_OX952_SIM=$work/no-cards.sim VODRA_OX952_REPLAY=$work/bom.txt \
  run --driver "$driver" "${cycle[@]}" >"$work/replay.out"
diff "$work/through.out" "$work/replay.out" || fail "the replay of a file with a BOM differs"
echo "a file with a byte-order mark and CR LF replayed"

# Two runs appended to one file, the first cut off in its last line as by a power cut: the
# second begins on a line of its own, each replays when chosen, and the replay says how
# many runs there are.
second=(--ini "$ini" --cycles 2 --period 0 --out 6=2000)
truncate -s -20 "$work/through.txt"
VODRA_OX952_TRACE=$work/through.txt run --driver "$traced_driver" "${second[@]}" >"$work/second.out"
for chosen in 1 2; do
  args=("${cycle[@]}") expected=$work/through.out
  [ $chosen = 1 ] || args=("${second[@]}") expected=$work/second.out
  VODRA_OX952_SIM=$work/no-cards.sim VODRA_OX952_REPLAY=$work/through.txt \
    VODRA_OX952_REPLAY_RUN=$chosen run --driver "$driver" "${args[@]}" >"$work/replay.out" \
    2>"$work/report"
  diff "$expected" "$work/replay.out" || fail "run $chosen of two replayed otherwise"
  grep -Eq "the file holds 2 runs; this was run $chosen, lines [0-9]+ to [0-9]+" \
    "$work/report" || fail "run $chosen of two: $(cat "$work/report")"
done
echo "two runs in one file, each replayed: $(tr -d '\r' <"$work/report")"
run --trace-runs "$work/through.txt" >"$work/runs" || fail "no runs listed"
tr -d '\r' <"$work/runs" | grep -Eq "^run 1: process [0-9]+, started .*, lines 1 to [0-9]+, [0-9]+ calls, no \
end mark \(killed or died\), last call OX952_Close\([0-9]\) = 0$" || fail "run 1 listed as $(cat "$work/runs")"
tr -d '\r' <"$work/runs" | grep -Eq "^run 2: .*, ended cleanly$" || fail "runs: $(cat "$work/runs")"
echo "runs listed: $(cat "$work/runs")"

# Two processes tracing into one file at the same time, as a tracer set for the whole
# machine catches the host and a qvhost beside it: every line whole and named, both runs
# marked, each replayed exactly and listed once.
both=(--ini "$ini" --cycles 50)
VODRA_OX952_REAL=$minimal VODRA_OX952_TRACE=$work/two.txt \
  run --driver "$traced_driver" "${both[@]}" --period 5 --out 6=1000 >"$work/two-1000.out" &
VODRA_OX952_REAL=$minimal VODRA_OX952_TRACE=$work/two.txt \
  run --driver "$traced_driver" "${both[@]}" --period 5 --out 6=2000 >"$work/two-2000.out"
wait $!
tr -d '\r' <"$work/two.txt" | grep -Ev "${stamp}(OX952_[A-Z0-9a-z_]+\(.*\)( = .*| \.\.\.)|# process \
[0-9]+ (starts|ends cleanly))$" && fail "broken lines in a trace of two processes"
[ "$(tr -d '\r' <"$work/two.txt" | sed -E 's/^[^[]*\[([0-9]+)\].*/\1/' | uniq | wc -l)" -gt 2 ] ||
  fail "the two processes did not trace at the same time"
matched=
for chosen in 1 2; do
  for value in 1000 2000; do
    [[ "$matched " != *" $value "* ]] || continue
    status=0
    VODRA_OX952_SIM=$work/no-cards.sim VODRA_OX952_REPLAY=$work/two.txt \
      VODRA_OX952_REPLAY_RUN=$chosen run --driver "$driver" "${both[@]}" --period 0 --out 6=$value \
      >"$work/replay.out" 2>/dev/null || status=$?
    if [ $status = 0 ] && cmp -s "$work/two-$value.out" "$work/replay.out"; then
      matched+=" $value"
      break
    fi
  done
done
[ "$matched" = " 1000 2000" ] || [ "$matched" = " 2000 1000" ] || fail "runs replayed as:$matched"
run --trace-runs "$work/two.txt" >"$work/runs"
[ "$(tr -d '\r' <"$work/runs" | grep -Ec '^run [12]: process [0-9]+, .*, ended cleanly$')" = 2 ] ||
  fail "two runs listed as $(cat "$work/runs")"
echo "two processes at once, each run replayed: $(cat "$work/runs")"

# Alone in its file (a library that keeps no trace of its own), each call is one line:
# the line written before the call is replaced by the full one.
VODRA_OX952_REAL=$minimal VODRA_OX952_TRACE=$work/alone.txt \
  run --driver "$traced_driver" "${cycle[@]}" >/dev/null
unset VODRA_OX952_SIM
VODRA_OX952_SIM_DEFAULT=1 VODRA_OX952_TRACE=$work/default.txt run --driver "$driver" "${cycle[@]}" \
  >/dev/null
tr -d '\r' <"$work/alone.txt" | sed -E "s/$stamp//" | grep -v '^# ' >"$work/alone-calls.txt"
if grep -Ev "$stamp" "$work/alone.txt" | grep -q .; then fail "a line without time stamp"; fi
if grep -q ' \.\.\.' "$work/alone-calls.txt"; then fail "a call left open"; fi
diff <(sed 's/(.*//' "$work/alone-calls.txt") <(tr -d '\r' <"$work/default.txt" | sed 's/(.*//') ||
  fail "one line per call expected"
echo "alone in its file: $(wc -l <"$work/alone.txt") lines, one per call"

# A failing call that wrote an out-argument shows the value; one it left alone, "out -".
VODRA_OX952_REAL=$failing_base VODRA_OX952_TRACE=$work/failing.txt \
  run --driver "$traced_driver" --ini "$ini" >/dev/null 2>&1 || true
grep -Eq "${stamp}OX952_BAR11_BaseAdr\(0, out 0xD0000000, out -\) = 7$" \
  <(tr -d '\r' <"$work/failing.txt") || fail "a failing call's out-arguments shown wrongly"
echo "a failing call's out-arguments shown as it left them"

# A fault in the count call goes through the tracer to the driver's guard; the trace keeps
# the call that did not return.
printf 'card 512 2 13\nraise access-violation 1\n' >"$work/raise.sim"
status=0
VODRA_OX952_SIM=$work/raise.sim VODRA_OX952_TRACE=$work/raise.txt \
  run --driver "$traced_driver" --ini "$ini" >"$work/raise.out" 2>&1 || status=$?
[ $status = 1 ] || fail "faulting library: exit status $status"
grep -q 'Init .*failed: Chyba volání knihovny VODRA_OX952\.' "$work/raise.out" || fail "no guard"
grep -Eq "${stamp}OX952_CardsInSystem\(out -\) \.\.\." "$work/raise.txt" || fail "no open call"
echo "fault reached the driver's guard; trace: $(grep -E "$stamp" "$work/raise.txt" | tr -d '\r')"
# Replayed from that trace, where the call never returned but the run ended cleanly, the
# call raises again and the guard sees it.
status=0
VODRA_OX952_SIM=$work/no-cards.sim VODRA_OX952_REPLAY=$work/raise.txt run --driver "$driver" \
  --ini "$ini" >"$work/replay.out" 2>&1 || status=$?
[ $status = 1 ] || fail "replayed fault: exit status $status"
diff <(unnamed <"$work/raise.out") <(unnamed <"$work/replay.out") ||
  fail "the replayed fault went otherwise"
echo "replayed fault reached the driver's guard"

# No real library: a message, every call fails, the driver reports a library error.
status=0
VODRA_OX952_REAL=$work/none VODRA_OX952_TRACE=$work/none.txt \
  run --driver "$traced_driver" --ini "$ini" >"$work/none.out" 2>&1 || status=$?
[ $status = 1 ] || fail "missing library: exit status $status"
grep -q 'VODRA_OX952 tracer: cannot use the real card library' "$work/none.out" || fail "no message"
grep -q 'Chyba volání knihovny VODRA_OX952\.' "$work/none.out" || fail "no library error"
grep -q '# cannot use the real card library' "$work/none.txt" || fail "message not traced"
echo "missing real library reported"
# A trace file that cannot be opened: a message with the system's reason, the calls go on.
VODRA_OX952_REAL=$minimal VODRA_OX952_TRACE=$work/no-folder/t.txt \
  run --driver "$traced_driver" --ini "$ini" >/dev/null 2>"$work/open.err"
tr -d '\r' <"$work/open.err" | grep -Eq 'trace file .*t\.txt cannot be opened: [A-Z][a-z]' ||
  fail "no reason given: $(cat "$work/open.err")"
echo "unopened trace file reported: $(tr -d '\r' <"$work/open.err")"
