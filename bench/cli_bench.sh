#!/usr/bin/env bash
# Times `mivo` beside the usual peers on one 100 MB random file, read from the page cache and
# written to /dev/null, best of several runs each, in one run of this script; and start-up, as the
# mean time to dump a 1 KiB file (with hyperfine where installed). Prints a Markdown table.
# Usage: bench/cli_bench.sh [path/to/mivo]   (default: build/bench/cli/mivo)
set -euo pipefail
mivo=${1:-build/bench/cli/mivo}
runs=${MIVO_BENCH_RUNS:-5}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

head -c 100000000 /dev/urandom >"$work/data"
"$mivo" encode "$work/data" >"$work/data.hex"
tr a-f A-F <"$work/data.hex" >"$work/data.HEX"  # basenc decodes only uppercase

# Best wall time of $runs runs, in nanoseconds.
best() {
  local best_ns=
  for _ in $(seq "$runs"); do
    # Microseconds, read by bash itself: a `date` would add a fork to every time.
    local start=${EPOCHREALTIME//[!0-9]/}
    "$@" >"${sink:-/dev/null}" 2>&1 || true
    local end=${EPOCHREALTIME//[!0-9]/}
    if [ -z "$best_ns" ] || [ $(((end - start) * 1000)) -lt "$best_ns" ]; then
      best_ns=$(((end - start) * 1000))
    fi
  done
  echo "$best_ns"
}

seconds() { printf '%d.%03d' $(($1 / 1000000000)) $(($1 / 1000000 % 1000)); }

row() {  # job, mivo's time, then peer names and command lines as pairs
  local job=$1 mine=$2
  shift 2
  while [ $# -gt 0 ]; do
    local name=$1 command=$2
    shift 2
    command -v "${command%% *}" >/dev/null || continue
    local theirs
    # shellcheck disable=SC2086  # the command line splits into its words
    theirs=$(best $command)
    printf '| %s | %s s | %s | %s s | %.2fx |\n' "$job" "$(seconds "$mine")" "$name" \
      "$(seconds "$theirs")" "$(echo "$theirs / $mine" | bc -l)"
  done
}

echo "| job | mivo | peer | peer time | mivo faster by |"
echo "| --- | ---: | --- | ---: | ---: |"
row dump "$(best "$mivo" dump "$work/data")" \
  "xxd" "xxd $work/data" "hexdump -C" "hexdump -C $work/data" "od -An -tx1" "od -An -tx1 $work/data"
row encode "$(best "$mivo" encode "$work/data")" \
  "basenc --base16 -w0" "basenc --base16 -w0 $work/data" "xxd -p" "xxd -p $work/data"
row decode "$(best "$mivo" decode "$work/data.HEX")" \
  "basenc --base16 -d" "basenc --base16 -d $work/data.HEX" "xxd -r -p" "xxd -r -p $work/data.hex"

# Each command beside cat of its input: what reading alone costs, the floor for any command.
row "encode, beside reading" "$(best "$mivo" encode "$work/data")" "cat (the input)" "cat $work/data"
row "decode, beside reading" "$(best "$mivo" decode "$work/data.hex")" \
  "cat (the digits)" "cat $work/data.hex"
row "dump, beside reading" "$(best "$mivo" dump "$work/data")" "cat (the input)" "cat $work/data"

# Finding bytes: a pattern with a wildcard, one of the commonest byte in images, text in either
# case, beside reading alone and grep (which reports no overlapping matches, so it has less to
# say). Their matches go to a file: grep stops at the first match when it writes to /dev/null.
row "find '4d 5a ?? 00'" "$(best "$mivo" find '4d 5a ?? 00' "$work/data")" \
  "cat (the input)" "cat $work/data"
sink="$work/found"
row "find '4d 5a ?? 00', to a file" "$(best "$mivo" find '4d 5a ?? 00' "$work/data")" \
  "grep -obUaP" "env LC_ALL=C grep -obUaP \\x4d\\x5a.\\x00 $work/data"
row "find '00 00', to a file" "$(best "$mivo" find '00 00' "$work/data")" \
  "grep -obUaP" "env LC_ALL=C grep -obUaP \\x00\\x00 $work/data"
row "find -t -i hello, to a file" "$(best "$mivo" find -t -i hello "$work/data")" \
  "grep -obUai" "env LC_ALL=C grep -obUai hello $work/data"
unset sink

# Comparing: identical copies beside cmp, three edits (a byte inserted, 4 KiB overwritten, 100
# bytes deleted) beside cmp -l, which lists every byte after the insertion, and -q on unrelated
# data, which stops at the first byte.
cp "$work/data" "$work/copy"
part() { dd if="$work/data" iflag=skip_bytes,count_bytes skip="$1" count="$2" status=none; }
{ part 0 10000000; printf Q; part 10000000 40000000; head -c 4096 /dev/urandom
  part 50004096 30000000; part 80004196 100000000; } >"$work/edited"
head -c 100000000 /dev/urandom >"$work/other"
row "diff, identical" "$(best "$mivo" diff "$work/data" "$work/copy")" \
  "cmp" "cmp $work/data $work/copy"
sink="$work/found"  # cmp -l, like grep, stops early when it writes to /dev/null
row "diff, three edits, to a file" "$(best "$mivo" diff "$work/data" "$work/edited")" \
  "cmp -l" "cmp -l $work/data $work/edited"
unset sink
row "diff -q, unrelated" "$(best "$mivo" diff -q "$work/data" "$work/other")" \
  "cmp" "cmp $work/data $work/other"
echo "hunks for three edits: $({ "$mivo" diff "$work/data" "$work/edited" || true; } | grep -c '^@@')" >&2
printf '| diff, unrelated | %s s | | | |\n' "$(seconds "$(best "$mivo" diff "$work/data" "$work/other")")"
rm -f "$work/copy" "$work/edited" "$work/other" "$work/found"

# Reading dumps back, beside xxd -r of xxd's dump, beside decoding the plain digits and beside
# only reading the dump, which is 2.1 times their size; decoding
# digits wrapped at 76 columns and spaced pairs ("de ad be ef"), beside the plain digits.
"$mivo" dump "$work/data" >"$work/data.dump"
xxd "$work/data" >"$work/data.xxd"
row undump "$(best "$mivo" undump "$work/data.dump")" \
  "xxd -r" "xxd -r $work/data.xxd" "mivo decode" "$mivo decode $work/data.hex" \
  "cat (the dump alone)" "cat $work/data.dump"
fold -w 76 "$work/data.hex" >"$work/data.wrapped"
row "decode, 76 columns" "$(best "$mivo" decode "$work/data.wrapped")" \
  "mivo decode" "$mivo decode $work/data.hex"
sed 's/../& /g' "$work/data.hex" >"$work/data.spaced"
row "decode, spaced pairs" "$(best "$mivo" decode "$work/data.spaced")" \
  "mivo decode" "$mivo decode $work/data.hex"
rm -f "$work/data.dump" "$work/data.xxd" "$work/data.wrapped" "$work/data.spaced"

# The dump's options beside the plain dump (the peer column is mivo itself), and colour beside
# hexyl, which takes many seconds: one run of it is enough.
row "encode -w 60" "$(best "$mivo" encode -w 60 "$work/data")" \
  "mivo encode" "$mivo encode $work/data" "xxd -p" "xxd -p $work/data"
row "dump --offsets" "$(best "$mivo" dump --offsets "$work/data")" \
  "mivo dump" "$mivo dump $work/data"
row "dump -u" "$(best "$mivo" dump -u "$work/data")" "mivo dump" "$mivo dump $work/data"
row "dump -a (random data)" "$(best "$mivo" dump -a "$work/data")" \
  "mivo dump" "$mivo dump $work/data"
colour=$(best "$mivo" dump --color=always "$work/data")
runs=1 row "dump --color=always" "$colour" "hexyl --color=always" "hexyl --color=always $work/data"

# Layouts, each beside the peer with the same options, and their reading back beside xxd -r
# where it can reverse them, else beside undump of the default layout.
for opts in "-c 32 -g 4" "-g 1" "-g 8" "-e" "-b" "-d -o 4096" "-E"; do
  # shellcheck disable=SC2086
  row "dump --offsets $opts" "$(best "$mivo" dump --offsets $opts "$work/data")" \
    "xxd $opts" "xxd $opts $work/data"
done
runs=1 row "dump -C" "$(best "$mivo" dump -C "$work/data")" "hexdump -C" "hexdump -C $work/data"
"$mivo" dump "$work/data" >"$work/data.dump"
for opts in "-c 32 -g 4" "-g 1" "-g 8" "-e" "-b" "-C"; do
  # shellcheck disable=SC2086
  "$mivo" dump --offsets $opts "$work/data" >"$work/data.layout"
  case $opts in
    "-c 32 -g 4") peer="xxd -r -c 32" ;;
    "-g 1" | "-g 8") peer="xxd -r" ;;
    *) peer="" ;;
  esac
  if [ -n "$peer" ]; then
    # shellcheck disable=SC2086
    runs=1 row "undump --offsets $opts" "$(best "$mivo" undump --offsets $opts "$work/data.layout")" \
      "$peer" "$peer $work/data.layout"
  else
    # shellcheck disable=SC2086
    row "undump --offsets $opts" "$(best "$mivo" undump --offsets $opts "$work/data.layout")" \
      "mivo undump (default layout)" "$mivo undump $work/data.dump"
  fi
done
rm -f "$work/data.dump" "$work/data.layout"

# Sparse files: a squeezed 1 TiB, and the last row of 5 GiB reached with -s.
truncate -s 1T "$work/sparse1t"
truncate -s 5G "$work/sparse5g"
printf '| dump -a, 1 TiB sparse | %s s | | | |\n' "$(seconds "$(best "$mivo" dump -a "$work/sparse1t")")"
printf '| dump -s -16, 5 GiB sparse | %s s | | | |\n' \
  "$(seconds "$(best "$mivo" dump -s -16 "$work/sparse5g")")"

# Start-up: a 1 KiB file, the size people dump most, where starting is nearly all the work. The
# mean of many runs, both commands in one hyperfine run (or alternating, without it), in ms.
head -c 1024 /dev/urandom >"$work/small"
startup_ms() {  # prints the mean times of `mivo dump` and `xxd`
  if command -v hyperfine >/dev/null; then
    hyperfine -N --warmup 50 --runs 1000 --export-json "$work/startup.json" \
      "$mivo dump $work/small" "xxd $work/small" >/dev/null
    python3 -c 'import json, sys
print(*("%.3f" % (r["mean"] * 1000) for r in json.load(open(sys.argv[1]))["results"]))' \
      "$work/startup.json"
    return
  fi
  local mine=0 theirs=0 start
  for _ in $(seq 500); do
    start=${EPOCHREALTIME//[!0-9]/}
    "$mivo" dump "$work/small" >/dev/null
    mine=$((mine + ${EPOCHREALTIME//[!0-9]/} - start))
    start=${EPOCHREALTIME//[!0-9]/}
    xxd "$work/small" >/dev/null
    theirs=$((theirs + ${EPOCHREALTIME//[!0-9]/} - start))
  done
  echo "$(echo "$mine / 500000" | bc -l) $(echo "$theirs / 500000" | bc -l)"
}
if command -v xxd >/dev/null; then
  read -r mine theirs < <(startup_ms)
  printf '| dump 1 KiB (start-up) | %.2f ms | xxd | %.2f ms | %.2fx |\n' "$mine" "$theirs" \
    "$(echo "$theirs / $mine" | bc -l)"
fi
