#!/usr/bin/env bash
# Times whole runs of zorvanteli against primesieve over the same ranges, checks that both list
# the same primes, and prints the results as a Markdown table.
# Usage: bench/workloads.sh [path/to/zorvanteli]   (default: build/release/zorvanteli)
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
program=${1:-$repo/build/release/zorvanteli}
[[ -x $program ]] || { echo "no program at $program; build it with: cmake --preset release && cmake --build --preset release" >&2; exit 2; }
program=$(cd "$(dirname "$program")" && pwd)/$(basename "$program")
runs=${RUNS:-5}
last_u64=18446744073709551615

# start, count, label
workloads=(
  "0 10000000 first 10^7 primes"
  "1000000000000 10000000 10^7 primes from 10^12"
  "1000000000000000000 1000000 10^6 primes from 10^18"
  "1000000000000000000 1000 1000 primes from 10^18"
  "18446744073709550000 30 30 primes from 18446744073709550000 (to the end)"
)

have_primesieve=false
command -v primesieve > /dev/null && have_primesieve=true
have_hyperfine=false
command -v hyperfine > /dev/null && have_hyperfine=true
[[ -x /usr/bin/time ]] || { echo "needs /usr/bin/time for the peak memory (package time)" >&2; exit 2; }

# On the local disk beside the build, not on a tmpfs: writing the listing is part of the work.
mkdir -p "$repo/build"
work=$(mktemp -d "$repo/build/workloads.XXXXXX")
trap 'rm -rf -- "$work"' EXIT
cd "$work"

# Best (lowest) wall time in seconds of `runs` runs of a shell command, after `prepare`; the
# best is the run least disturbed by the rest of the machine.
best_time() {
  local command=$1 prepare=$2
  if $have_hyperfine; then
    # Its warnings about outliers would break up the table; its errors still show.
    if ! hyperfine --runs "$runs" --warmup 1 --style none --prepare "$prepare" \
      --export-json timing.json "$command" > /dev/null 2> hyperfine.err; then
      cat hyperfine.err >&2
      exit 1
    fi
    sed -n 's/^ *"min": *\([0-9.e+-]*\),*$/\1/p' timing.json | head -n 1
    rm -f timing.json
  else
    local best="" i t0 t1
    for ((i = 0; i < runs; ++i)); do
      eval "$prepare"
      t0=$(date +%s.%N)
      eval "$command"
      t1=$(date +%s.%N)
      best=$(awk -v a="$t0" -v b="$t1" -v best="$best" \
        'BEGIN { t = b - a; if (best == "" || t < best) best = t; printf "%.6f", best }')
    done
    echo "$best"
  fi
}

# Peak resident memory in MiB from a `/usr/bin/time -f '%e %M'` record.
peak_mib() {
  awk '{ printf "%.1f", $2 / 1024 }' "$1"
}

clear_results='rm -f -- ./*.txt'
quoted_program=$(printf %q "$program")
failed=false

echo "zorvanteli: $program"
if $have_primesieve; then
  echo "primesieve: $(primesieve --version 2>&1 | head -n 1), one thread (-t1)"
else
  echo "primesieve: not installed, its columns are left out"
fi
echo "timing: best of $runs runs ($($have_hyperfine && echo hyperfine || echo 'date +%s.%N'))," \
  "peak memory from /usr/bin/time"
$have_primesieve && echo "ratio: zorvanteli s / primesieve s, below 1 when zorvanteli is faster"
echo

if $have_primesieve; then
  echo "| workload | zorvanteli s | primesieve s | ratio | zorvanteli peak MiB | primesieve peak MiB | same listing |"
  echo "| --- | ---: | ---: | ---: | ---: | ---: | --- |"
else
  echo "| workload | zorvanteli s | zorvanteli peak MiB |"
  echo "| --- | ---: | ---: |"
fi

for workload in "${workloads[@]}"; do
  read -r start count label <<< "$workload"
  ours="printf '$start\n$count\n\n' | $quoted_program > /dev/null"

  # One measured run leaves the listing behind, for the stop number and the comparison.
  eval "$clear_results"
  printf '%s\n%s\n\n' "$start" "$count" |
    /usr/bin/time -f '%e %M' -o ours.rss "$program" > /dev/null ||
    { echo "zorvanteli failed on: $label" >&2; exit 1; }
  result=(./*.txt)
  [[ ${#result[@]} -eq 1 && -f ${result[0]} ]] ||
    { echo "expected one result file after: $label" >&2; exit 1; }
  mv -- "${result[0]}" ours.list
  found=$(wc -l < ours.list)
  if ((found < count)); then
    stop=$last_u64  # the search ran into the end of the 64-bit range
  else
    stop=$(tail -n 1 ours.list)
  fi

  ours_s=$(best_time "$ours" "$clear_results")
  ours_mib=$(peak_mib ours.rss)

  if $have_primesieve; then
    theirs="primesieve -t1 $start $stop --print > primesieve.list"
    /usr/bin/time -f '%e %M' -o theirs.rss primesieve -t1 "$start" "$stop" --print > primesieve.list
    if cmp -s ours.list primesieve.list; then
      same=OK
    else
      same=DIFF
      failed=true
    fi
    theirs_s=$(best_time "$theirs" "rm -f primesieve.list")
    theirs_mib=$(peak_mib theirs.rss)
    ratio=$(awk -v a="$ours_s" -v b="$theirs_s" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "-" }')
    printf '| %s | %.4f | %.4f | %s | %s | %s | %s |\n' "$label" "$ours_s" "$theirs_s" "$ratio" \
      "$ours_mib" "$theirs_mib" "$same"
  else
    printf '| %s | %.4f | %s |\n' "$label" "$ours_s" "$ours_mib"
  fi
  eval "$clear_results"
  rm -f ours.list primesieve.list ours.rss theirs.rss
done

if $failed; then
  echo
  echo "DIFF: zorvanteli's listing differs from primesieve's for at least one workload" >&2
  exit 1
fi
