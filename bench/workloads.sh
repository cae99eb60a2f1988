#!/usr/bin/env bash
# Times whole runs of zorvanteli against a peer primesieve over the same ranges, alternating the two
# programs run by run, checks that both list the same primes, and prints a Markdown table of medians.
#
# Usage: PEER=path/to/primesieve bench/workloads.sh [path/to/zorvanteli]
#   PEER   the primesieve to compare with (default: the one on the PATH); run as
#          `primesieve -t1 START STOP --print > file`, STOP being the last prime of our listing
#   RUNS   timed runs of each program per workload (default 5)
#   CPUS   pin both programs to these processors with taskset, e.g. CPUS=0 for one core
#   ROWS   the workloads to run, by number (default: all), e.g. ROWS="1 2"; ROWS=band for the
#          rows from 2^44 to 10^17; ROWS=goals for those whose speed differs most between
#          processors with and without AVX-512 IFMA
#   LEVELS run every row at each of these instruction levels (ZORVANTELI_INSTRUCTIONS: portable,
#          avx2, avx512, ifma), e.g. LEVELS="avx2 ifma"; LEVELS=all for every level this machine
#          runs (default: the program's own choice)
#   MODE   how zorvanteli is run, one or more of: dialogue (the default: answers on standard input,
#          the time-named file and the console), arguments (`-o FILE START COUNT`, the file and
#          standard output), quiet (`-q -o FILE START COUNT`, the file alone); several, e.g.
#          MODE="dialogue arguments quiet", alternate run by run and give a row each
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
program=${1:-$repo/build/release/zorvanteli}
[[ -x $program ]] || { echo "no program at $program; build it with: cmake --preset release && cmake --build --preset release" >&2; exit 2; }
program=$(cd "$(dirname "$program")" && pwd)/$(basename "$program")
peer=${PEER:-$(command -v primesieve || true)}
[[ -n $peer && -x $peer ]] || { echo "no primesieve: set PEER to its path" >&2; exit 2; }
peer=$(cd "$(dirname "$peer")" && pwd)/$(basename "$peer")
runs=${RUNS:-5}
read -r -a modes <<< "${MODE:-dialogue}"
for mode in "${modes[@]}"; do
  [[ $mode == @(dialogue|arguments|quiet) ]] || { echo "MODE takes dialogue, arguments or quiet, not $mode" >&2; exit 2; }
done
# The instruction levels to run at: each one the program reports using when asked for it.
read -r -a levels <<< "${LEVELS:-default}"
if [[ ${LEVELS:-} == all ]]; then
  levels=()
  for level in portable avx2 avx512 ifma; do
    ZORVANTELI_INSTRUCTIONS=$level "$program" --version | grep -qx "Instruction set: $level" && levels+=("$level")
  done
fi
# Every mode at every level, alternating run by run: "mode:level".
variants=()
for level in "${levels[@]}"; do
  for mode in "${modes[@]}"; do variants+=("$mode:$level"); done
done
[[ -x /usr/bin/time ]] || { echo "needs /usr/bin/time for CPU time and peak memory (package time)" >&2; exit 2; }
pin=()
[[ -n ${CPUS:-} ]] && pin=(taskset -c "$CPUS")
last_u64=18446744073709551615

# number, start, count, whether the write floor is measured, label
workloads=(
  "1 0 10000000 floor first 10^7 primes"
  "2 1000000000000 10000000 floor 10^7 primes from 10^12"
  "3 1000000000000000000 1000000 - 10^6 primes from 10^18"
  "4 10000000000000000000 10000000 - 10^7 primes from 10^19"
  "5 0 100000000 floor first 10^8 primes (1 GB)"
  "6 1000000000000000000 1000 - 1000 primes from 10^18"
  "7 18446744073709550000 30 - 30 primes from 18446744073709550000 (to the end)"
  "8 17592186044416 100000 - 10^5 primes from 2^44"
  "9 17592186044416 1000000 - 10^6 primes from 2^44"
  "10 17592186044416 10000000 - 10^7 primes from 2^44"
  "11 100000000000000 100000 - 10^5 primes from 10^14"
  "12 100000000000000 1000000 - 10^6 primes from 10^14"
  "13 100000000000000 10000000 - 10^7 primes from 10^14"
  "14 1000000000000000 100000 - 10^5 primes from 10^15"
  "15 1000000000000000 1000000 - 10^6 primes from 10^15"
  "16 1000000000000000 10000000 - 10^7 primes from 10^15"
  "17 10000000000000000 100000 - 10^5 primes from 10^16"
  "18 10000000000000000 1000000 - 10^6 primes from 10^16"
  "19 10000000000000000 10000000 - 10^7 primes from 10^16"
  "20 100000000000000000 100000 - 10^5 primes from 10^17"
  "21 100000000000000000 1000000 - 10^6 primes from 10^17"
  "22 100000000000000000 10000000 - 10^7 primes from 10^17"
  "23 17592000000000 10000000 - 10^7 primes from 17592000000000 (across 2^44)"
  "24 3000000000000000 1000000 - 10^6 primes from 3*10^15"
  "25 30000000000000000 1000000 - 10^6 primes from 3*10^16"
  "26 18000000000000000000 3000000 - 3*10^6 primes from 1.8*10^19"
)
# The rows where the sieve's depth changes: from 2^44 to 10^17, and between.
band="8 9 10 11 12 13 14 15 16 17 18 19 20 21 22 23 24 25"
selected=${ROWS:-1 2 3 4 5 6 7 26 $band}
[[ $selected == band ]] && selected=$band
[[ $selected == goals ]] && selected="4 26 22 3 9 14 18 21"

# On the local disk beside the build, not on a tmpfs: writing the listing is part of the work.
mkdir -p "$repo/build"
work=$(mktemp -d "$repo/build/workloads.XXXXXX")
trap 'rm -rf -- "$work"' EXIT
cd "$work"

# Runs a command under /usr/bin/time, its standard input and output redirected as given, and
# appends "wall_seconds cpu_seconds peak_kib" to a file. The clocks are bash's own: a `date`
# process per reading would add milliseconds to the runs that take milliseconds, and `times`
# (user and system time of the children waited for) counts milliseconds, /usr/bin/time hundredths.
measure() {  # times_file input output command...
  local times=$1 input=$2 output=$3 t0 t1
  shift 3
  times > cpu0.out
  t0=$EPOCHREALTIME
  /usr/bin/time -f '%M' -o time.out "${pin[@]}" "$@" < "$input" > "$output"
  t1=$EPOCHREALTIME
  times > cpu1.out
  awk -v w="$t1 - $t0" '
    function children(line,   f, p, t, i) {
      split(line, f, " ")
      for (i = 1; i <= 2; ++i) { split(f[i], p, /[ms]/); t += p[1] * 60 + p[2] }
      return t
    }
    FILENAME == "cpu0.out" && FNR == 2 { c0 = children($0) }
    FILENAME == "cpu1.out" && FNR == 2 { c1 = children($0) }
    FILENAME == "time.out" { kib = $1 }
    END { split(w, t, " - "); printf "%.6f %.3f %d\n", t[1] - t[2], c1 - c0, kib }
  ' cpu0.out cpu1.out time.out >> "$times"
}

# Runs zorvanteli once as `variant` (mode:level) on the workload `start count`, its listing left
# in ./*.txt.
run_ours() {  # run_ours times_file|- variant start count
  local times=$1 mode=${2%%:*} level=${2#*:} start=$3 count=$4
  local command=("$program") input=answers
  [[ $level == default ]] || command=(env "ZORVANTELI_INSTRUCTIONS=$level" "$program")
  case $mode in
    arguments) command+=(-o primes.txt "$start" "$count"); input=/dev/null ;;
    quiet) command+=(-q -o primes.txt "$start" "$count"); input=/dev/null ;;
  esac
  if [[ $times == - ]]; then
    "${pin[@]}" "${command[@]}" < "$input" > /dev/null
  else
    measure "$times" "$input" /dev/null "${command[@]}"
  fi
}

# Median of the numbers on standard input.
median() {
  sort -g | awk '{ v[NR] = $1 } END { if (NR % 2) printf "%.6f", v[(NR + 1) / 2]; else printf "%.6f", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

echo "zorvanteli: $program"
echo "peer: $("$peer" --version 2>&1 | head -n 1), one thread (-t1)"
echo "runs: $runs of each, alternating; medians${CPUS:+; both pinned to processors $CPUS}"
echo "ratio: zorvanteli / primesieve, below 1 when zorvanteli is faster; cpu/wall: zorvanteli's"
echo "(user + system) / wall time; peak: resident memory"
echo
echo "| workload | level | zorvanteli s | primesieve s | ratio | cpu/wall | zorvanteli peak MiB | primesieve peak MiB | write floor s | same listing |"
echo "| --- | --- | ---: | ---: | ---: | ---: | ---: | ---: | ---: | --- |"

failed=false
for workload in "${workloads[@]}"; do
  read -r number start count want_floor label <<< "$workload"
  [[ " $selected " == *" $number "* ]] || continue

  printf '%s\n%s\n\n' "$start" "$count" > answers
  # One untimed run of each leaves the listings to compare and gives the peer its stop number.
  declare -A same=()
  for variant in "${variants[@]}"; do
    rm -f -- ./*.txt
    run_ours - "$variant" "$start" "$count"
    result=(./*.txt)
    [[ ${#result[@]} -eq 1 && -f ${result[0]} ]] || { echo "expected one result file after: $label ($variant)" >&2; exit 1; }
    mv -- "${result[0]}" ours.list
    found=$(wc -l < ours.list)
    bytes=$(wc -c < ours.list)
    stop=$last_u64  # the search ran into the end of the 64-bit range
    ((found < count)) || stop=$(tail -n 1 ours.list)
    [[ -f primesieve.list ]] || "${pin[@]}" "$peer" -t1 "$start" "$stop" --print > primesieve.list
    if cmp -s ours.list primesieve.list; then same[$variant]=OK; else same[$variant]=DIFF; failed=true; fi
    rm -f ours.list
  done
  rm -f primesieve.list

  : > theirs.times; : > floor.times
  for variant in "${variants[@]}"; do : > "ours.$variant.times"; done
  for ((i = 0; i < runs; ++i)); do
    for variant in "${variants[@]}"; do
      run_ours "ours.$variant.times" "$variant" "$start" "$count"
      rm -f -- ./*.txt
    done
    measure theirs.times /dev/null primesieve.list "$peer" -t1 "$start" "$stop" --print
    rm -f -- ./*.txt primesieve.list
    # The floor: the same number of bytes written from one reused 1 MiB buffer.
    if [[ $want_floor == floor ]]; then
      measure floor.times /dev/null /dev/null dd if=/dev/zero of=floor.out bs=1M \
        count=$(((bytes + 1048575) / 1048576)) status=none
      rm -f floor.out
    fi
  done

  theirs_s=$(cut -d' ' -f1 theirs.times | median)
  theirs_mib=$(cut -d' ' -f3 theirs.times | sort -g | tail -n 1 | awk '{ printf "%.1f", $1 / 1024 }')
  floor_s=-
  [[ $want_floor == floor ]] && floor_s=$(cut -d' ' -f1 floor.times | median | awk '{ printf "%.4f", $1 }')
  for variant in "${variants[@]}"; do
    ours_s=$(cut -d' ' -f1 "ours.$variant.times" | median)
    ours_cpu=$(cut -d' ' -f2 "ours.$variant.times" | median)
    ours_mib=$(cut -d' ' -f3 "ours.$variant.times" | sort -g | tail -n 1 | awk '{ printf "%.1f", $1 / 1024 }')
    row=$label
    [[ -n ${MODE:-} ]] && row="$label (${variant%%:*})"
    printf '| %s | %s | %.4f | %.4f | %s | %s | %s | %s | %s | %s |\n' "$row" "${variant#*:}" \
      "$ours_s" "$theirs_s" \
      "$(awk -v a="$ours_s" -v b="$theirs_s" 'BEGIN { printf "%.2f", a / b }')" \
      "$(awk -v c="$ours_cpu" -v w="$ours_s" 'BEGIN { printf "%.2f", c / w }')" \
      "$ours_mib" "$theirs_mib" "$floor_s" "${same[$variant]}"
  done
done

if $failed; then
  echo
  echo "DIFF: zorvanteli's listing differs from primesieve's for at least one workload" >&2
  exit 1
fi
