#!/usr/bin/env bash
# The mivo tool as a person runs it: cli_test.sh MIVO REFERENCE_DUMP VERSION CASE
set -uo pipefail
mivo=$1 reference=$2 version=$3 case=$4
completion=$(cd "$(dirname "$0")/../cli/completion" && pwd)/mivo.bash
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1

fail() { echo "FAIL [$case]: $*"; exit 1; }
# Runs mivo with the rest of the arguments; sets out, err and rc.
run() {
  "$mivo" "$@" >out 2>err
  rc=$?
  out=$(od -An -c out | head -c 2000) err=$(cat err)
}
expect_rc() { [ "$rc" = "$1" ] || fail "exit $rc, want $1 (stderr: $err)"; }
expect_err() { [ "$err" = "$1" ] || fail "stderr '$err', want '$1'"; }
random_file() { head -c "$2" /dev/urandom >"$1"; }

case_dump_matches_library() {
  for size in 0 1 15 16 17 1000 300007; do
    random_file "in$size" "$size"
    for flags in "" --no-row-numbers --no-chars "--no-row-numbers --no-chars"; do
      # shellcheck disable=SC2086
      "$mivo" dump $flags "in$size" >got || fail "dump $flags of $size bytes: exit $?"
      # shellcheck disable=SC2086
      "$reference" $flags <"in$size" >want
      cmp -s got want || fail "dump $flags of $size bytes differs from the library's"
    done
  done
}

case_dump_files_are_one_stream() {
  random_file a 100; random_file b 37; random_file c 300000
  cat a b c | "$reference" >want
  cat b | "$mivo" dump a - c >got || fail "exit $?"
  cmp -s got want || fail "several inputs are not dumped as one stream"
}

case_encode_decode_round_trip() {
  random_file in 700000
  "$mivo" encode in | "$mivo" decode | cmp -s - in || fail "encode | decode"
  "$mivo" encode --no-newline in | "$mivo" decode --strict | cmp -s - in || fail "--strict"
  [ "$(printf hi | "$mivo" encode)" = 6869 ] || fail "encode of hi"
  [ "$(printf hi | "$mivo" encode --no-newline | od -An -c | tr -d ' ')" = 6869 ] ||
    fail "--no-newline"
  [ "$(printf 'a b\nc' | "$mivo" encode --skip 0a20)" = 616263 ] || fail "--skip 0a20"
  printf 'a b' >spaced
  [ "$("$mivo" encode --skip 20 spaced)" = 6162 ] || fail "--skip 20 FILE reads FILE"
  [ "$(printf 'aaa' | "$mivo" encode --skip 6161 | od -An -c | tr -d ' ')" = '\n' ] ||
    fail "--skip with a repeat"
}

case_decode_skips_whitespace_and_spans_files() {
  random_file in 5000
  "$mivo" encode in | fold -w 60 | "$mivo" decode | cmp -s - in || fail "wrapped text"
  [ "$(printf ' 6\t8\r\n6\v9\f\n' | "$mivo" decode)" = hi ] || fail "every kind of whitespace"
  printf 6 >a; printf '\n\n' >b; printf '9 ' >c
  [ "$("$mivo" decode a b c)" = i ] || fail "a pair spanning files"
  [ "$(echo 4A4b | "$mivo" decode)" = JK ] || fail "either case"
}

case_bad_digit() {
  printf '4142\n43g4' >data.hex
  run decode data.hex
  expect_rc 1
  expect_err "mivo: data.hex: offset 7: Mivo.to_char: 103 is an invalid char"
  [ "$(cat out)" = ABC ] || fail "the pairs before the failure must be written, nothing after"
  printf 414 >a; printf 'x' >b
  run decode a b
  expect_err "mivo: b: offset 0: Mivo.to_char: 120 is an invalid char"
  printf 41g >a; printf '0' >b
  run decode a - <b
  expect_err "mivo: a: offset 2: Mivo.to_char: 103 is an invalid char"
  printf '6869\n' | "$mivo" decode --strict >out 2>err
  [ "$(cat err)" = "mivo: -: offset 4: Hex conversion: Hex string cannot have an odd number of characters." ] ||
    fail "--strict skips nothing: $(cat err)"
}

case_odd_count_names_the_input_holding_the_lone_digit() {
  printf 'abg' | "$mivo" decode >out 2>err
  [ "$(cat err)" = "mivo: -: offset 2: Hex conversion: Hex string cannot have an odd number of characters." ] ||
    fail "abg: $(cat err)"
  printf '41 4' >a; printf ' \n' >b
  run decode a b
  expect_rc 1
  expect_err "mivo: a: offset 3: Hex conversion: Hex string cannot have an odd number of characters."
  [ "$(cat out)" = A ] || fail "the complete pair must be written"
}

case_unreadable_file() {
  printf 00 >good
  mkfifo later  # opening it would block: nothing after the failing input may be read
  run dump good missing later
  expect_rc 1
  expect_err "mivo: missing: No such file or directory"
  mkdir dir
  run encode dir
  expect_rc 1
  expect_err "mivo: dir: Is a directory"
}

case_usage_errors() {
  run bogus
  expect_err "mivo: unknown command 'bogus'
usage: mivo {dump|undump|encode|decode|find|diff} [OPTIONS] [FILE...]  (mivo --help)"
  run dump --bogus
  [ "$(head -n 1 err)" = "mivo: unrecognized option '--bogus'" ] || fail "dump --bogus: $err"
  for args in "bogus" "dump --bogus" "encode --skip 0g" "encode --skip 0" "decode --strict=maybe"; do
    # shellcheck disable=SC2086
    run $args
    expect_rc 2
    [[ "$err" == mivo:* ]] || fail "$args: message '$err'"
    [[ "$(tail -n 1 err)" == usage:* ]] || fail "$args: no usage line"
  done
  run
  expect_rc 2
}

case_failed_write() {
  random_file in 1000
  for command in dump encode; do
    "$mivo" "$command" in >/dev/full 2>err
    rc=$?
    [ "$rc" = 1 ] || fail "$command to /dev/full: exit $rc"
    [ "$(cat err)" = "mivo: write error: No space left on device" ] || fail "$(cat err)"
  done
  "$mivo" encode in | "$mivo" decode >/dev/full 2>err
  [ "$(cat err)" = "mivo: write error: No space left on device" ] || fail "decode: $(cat err)"
}

case_closed_pipe_is_a_quiet_end() {
  head -c 20000000 /dev/zero >big
  first=$("$mivo" dump big 2>err | head -n 1)
  [ "$first" = "00000000: 0000 0000 0000 0000 0000 0000 0000 0000  ................" ] ||
    fail "first row '$first'"
  [ ! -s err ] || fail "message on a closed pipe: $(cat err)"
  (trap '' PIPE; "$mivo" dump big 2>err; echo "$?" >rc) | head -n 1 >/dev/null
  [ "$(cat rc)" = 0 ] || fail "exit $(cat rc) with SIGPIPE ignored"
  [ ! -s err ] || fail "message with SIGPIPE ignored: $(cat err)"
}

case_version_and_help() {
  MIVO_KERNEL='' run --version
  expect_rc 0
  [ "$(head -n 1 out)" = "mivo $version" ] || fail "version line '$(head -n 1 out)'"
  [[ "$(sed -n 2p out)" =~ ^kernel:\ (scalar|ssse3|avx2|avx512|neon)$ ]] || fail "kernel line"
  kernel=$(sed -n 2p out)
  MIVO_KERNEL=sse9 run --version
  [ "$(sed -n 2p out)" = "$kernel (MIVO_KERNEL=sse9 ignored: unknown)" ] ||
    fail "an unknown MIVO_KERNEL: $(sed -n 2p out)"
  MIVO_KERNEL=scalar run --version
  [ "$(sed -n 2p out)" = "kernel: scalar" ] || fail "MIVO_KERNEL=scalar: $(sed -n 2p out)"
  run --help
  expect_rc 0
  for word in dump encode decode --no-row-numbers --no-chars --skip --no-newline --strict \
      "Exit status" "Examples"; do
    grep -q -- "$word" out || fail "--help does not mention $word"
  done
  run dump --help
  expect_rc 0
  grep -q -- --no-chars out || fail "dump --help"
}

case_memory_is_bounded() {
  [ -x /usr/bin/time ] || { echo "skipped: no /usr/bin/time"; exit 0; }
  for command in dump encode; do
    kib=$(head -c 300000000 /dev/zero | /usr/bin/time -f %M "$mivo" "$command" 2>&1 >/dev/null)
    [ "$kib" -lt 16384 ] || fail "$command of 300 MB: peak RSS $kib KiB"
  done
}

# A parent's closed or full standard streams: reported, never silently reused.
case_help_and_version_write_errors() {
  for args in --help --version "dump --help"; do
    # shellcheck disable=SC2086
    "$mivo" $args >/dev/full 2>err
    rc=$?
    [ "$rc" = 1 ] || fail "$args to /dev/full: exit $rc"
    [ "$(cat err)" = "mivo: write error: No space left on device" ] || fail "$args: $(cat err)"
    # shellcheck disable=SC2086
    "$mivo" $args >&- 2>err
    rc=$?
    [ "$rc" = 1 ] || fail "$args with stdout closed: exit $rc"
    [ "$(cat err)" = "mivo: write error: Bad file descriptor" ] || fail "$args: $(cat err)"
  done
}

case_closed_standard_stream_is_not_reused() {
  echo hi >hi.txt
  "$mivo" dump hi.txt - <&- >out 2>err
  rc=$?
  [ "$rc" = 1 ] || fail "exit $rc"
  [ "$(cat err)" = "mivo: -: Bad file descriptor" ] || fail "stderr: $(cat err)"
  "$reference" <hi.txt >want
  cmp -s out want || fail "hi.txt must be dumped before the failure"
  "$mivo" encode - hi.txt <&- >out 2>err
  [ "$(cat err)" = "mivo: -: Bad file descriptor" ] || fail "- first: $(cat err)"
}

case_input_file_is_output_file() {
  ulimit -f 1024  # should the tool read its own output, it stops at 1 MiB, not a full disk
  for command in encode dump; do
    printf hello >f
    "$mivo" "$command" f >>f 2>err
    rc=$?
    [ "$rc" = 1 ] || fail "$command f >> f: exit $rc"
    [ "$(cat err)" = "mivo: f: input file is output file" ] || fail "$(cat err)"
    [ "$(cat f)" = hello ] || fail "$command f >> f changed f"
    "$mivo" "$command" - <f >>f 2>err
    [ "$(cat err)" = "mivo: -: input file is output file" ] || fail "- <f >>f: $(cat err)"
  done
  printf hello >f
  "$mivo" encode f >f || fail "f > f: the shell emptied f, so nothing is read back"
  printf 6869 >g
  "$mivo" decode g >>g 2>err
  [ "$(cat err)" = "mivo: g: input file is output file" ] || fail "decode: $(cat err)"
}

case_odd_names_are_quoted() {
  run dump $'a\nb'
  expect_rc 1
  expect_err "mivo: 'a'\$'\\n''b': No such file or directory"
  run dump $'\e[31mRED'
  expect_err "mivo: ''\$'\\033''[31mRED': No such file or directory"
  run encode --skip $'\e[7mX'
  expect_rc 2
  [ "$(head -n 1 err)" = "mivo: --skip: ''\$'\\033''[7mX' is not pairs of hex digits, one per byte" ] ||
    fail "--skip value: $(head -n 1 err)"
  run encode "it's" 'my file' plain.bin
  expect_err "mivo: \"it's\": No such file or directory"
  run dump $'\e]0;x\a'
  [ "$(wc -l <err)" = 1 ] || fail "a message over more than one line"
  ! grep -q $'\e' err || fail "an escape character reached the terminal"
  run bogus$'\n'
  [ "$(wc -l <err)" = 2 ] || fail "an unknown command's message over more than one line"
}

case_out_of_memory() {
  # Lower the limit until the tool cannot start: on the way down there must be a limit where it
  # starts but cannot allocate its buffers, and says so.
  head -c 1000000 /dev/urandom >big
  "$reference" <big >want
  seen=no
  for kib in $(seq 6000 -50 500); do
    (ulimit -v "$kib" && exec "$mivo" dump big >out 2>err)
    rc=$?
    if [ "$rc" = 0 ]; then
      cmp -s out want || fail "ulimit -v $kib: exit 0 with a wrong dump"
    elif [ "$rc" = 1 ] && [ "$(cat err)" = "mivo: out of memory" ]; then
      seen=yes
      [ ! -s out ] || fail "ulimit -v $kib: output before running out of memory"
    else
      break  # too little to start at all: not the tool's doing
    fi
  done
  [ "$seen" = yes ] || fail "no limit gave 'mivo: out of memory' (stopped at $kib KiB, exit $rc)"
}

case_skip_option_wording() {
  for args in "encode --skip 0a --skip 20:--skip given twice" "encode --skip=:--skip: empty value" \
      "encode --skip= f:--skip: empty value" "encode --skip '':--skip: empty value"; do
    eval "run ${args%%:*}"
    expect_rc 2
    [ "$(head -n 1 err)" = "mivo: ${args#*:}" ] || fail "${args%%:*}: $(head -n 1 err)"
  done
}

case_bash_completion() {
  # shellcheck disable=SC1090
  source "$completion"
  complete_words() {
    COMP_WORDS=("$@")
    COMP_CWORD=$(($# - 1))
    _mivo
    echo "${COMPREPLY[*]}"
  }
  [ "$(complete_words mivo du)" = "dump" ] || fail "mivo du: $(complete_words mivo du)"
  [ "$(complete_words mivo encode --sk)" = "--skip" ] || fail "encode --sk"
  [ "$(complete_words mivo dump --color a)" = "auto always" ] || fail "dump --color a"
  touch afile
  [ "$(complete_words mivo dump af)" = "afile" ] || fail "file names after a command"
  for command in dump undump encode decode find diff; do
    listed=$("$mivo" "$command" --help | grep -E '^ +-' | grep -oE -- '--[a-z-]+' | sort -u | tr '\n' ' ')
    completed=$(complete_words mivo "$command" -- | tr ' ' '\n' | sort -u | tr '\n' ' ')
    [ "$listed" = "$completed" ] || fail "$command: --help lists '$listed', completion '$completed'"
  done
}

# The region, labels, squeezing, case and colour of `dump`, and the region of the others.
case_dump_offsets_match_xxd() {
  command -v xxd >/dev/null || { echo "skipped: no xxd"; exit 0; }
  for size in 0 1 15 16 17 1000 70001; do
    random_file "in$size" "$size"
    for args in "" "-s 100 -n 37" "-s 4096 -n 64" "-u" "-s 0x10 -n 5" "-s 64 -u" \
        "-s 20000 -n 1024"; do
      # shellcheck disable=SC2086
      "$mivo" dump --offsets $args "in$size" >got || fail "dump --offsets $args: exit $?"
      # shellcheck disable=SC2086
      xxd ${args//-n/-l} "in$size" >want
      cmp -s got want || fail "dump --offsets $args of $size bytes differs from xxd"
    done
  done
  "$mivo" dump --offsets -s -64 in70001 >got
  xxd -s -64 in70001 >want
  cmp -s got want || fail "-s -64 differs from xxd"
}

case_region_of_files_and_pipes() {
  random_file in 300000
  tail -c +101 in | head -c 70000 | "$reference" >want
  "$mivo" dump -s 100 -n 70000 in >got || fail "exit $?"
  cmp -s got want || fail "the region of a file"
  cat in | "$mivo" dump -s 100 -n 70000 >got
  [ "${PIPESTATUS[1]}" = 0 ] || fail "a pipe: exit ${PIPESTATUS[1]}"
  cmp -s got want || fail "the region of a pipe"
  head -c 1000 in >a
  tail -c +1001 in >b
  "$mivo" dump -s 100 -n 70000 a b >got
  cmp -s got want || fail "a region across two FILEs"
  "$mivo" dump -s 300000 in >got || fail "an offset at the end: exit $?"
  [ ! -s got ] || fail "an offset at the end dumps nothing"
  tail -c 64 in | "$reference" >want
  "$mivo" dump -s -64 in >got
  cmp -s got want || fail "-s -64"
  [ "$(printf 'hello' | "$mivo" encode -s 1 -n 3)" = 656c6c ] || fail "encode -s 1 -n 3"
  [ "$(printf '\xab\xcd' | "$mivo" encode -u)" = ABCD ] || fail "encode -u"
  [ "$(printf 'zz6869zz' | "$mivo" decode -s 2 -n 4)" = hi ] || fail "decode -s 2 -n 4"
  printf '6869zz' >h
  run decode -s 2 h
  expect_err "mivo: h: offset 5: Mivo.to_char: 122 is an invalid char"
}

case_region_usage_errors() {
  random_file in 100
  for args in "dump -s 1.5K in:invalid offset: '1.5K'" "dump -s 1g in:invalid offset: '1g'" \
      "dump -n -5 in:invalid length: '-5'" \
      "dump -s 99999999999999999999 in:invalid offset: '99999999999999999999'" \
      "dump -s 20000000T in:invalid offset: '20000000T'" \
      "dump -s -5 in in:invalid offset: '-5': counting from the end needs one FILE that can seek" \
      "dump --offsets --no-row-numbers in:--offsets and --no-row-numbers conflict" \
      "dump -a --no-row-numbers in:--squeeze needs row labels: it conflicts with --no-row-numbers" \
      "dump --color=bogus in:--color: invalid value 'bogus' (auto, always or never)" \
      "dump --start= in:--start: empty value" \
      "encode -i -w 60 in:--c-array and --width conflict" \
      "encode -i --skip 0a in:--c-array and --skip conflict"; do
    # shellcheck disable=SC2086
    run ${args%%:*}
    expect_rc 2
    [ "$(head -n 1 err)" = "mivo: ${args#*:}" ] || fail "${args%%:*}: $(head -n 1 err)"
  done
  cat in | "$mivo" dump -s -5 >out 2>err
  [ "$?" = 2 ] && grep -q "needs one FILE that can seek" err || fail "-s -5 on a pipe: $(cat err)"
}

case_squeeze() {
  { head -c 64 /dev/zero; printf 'x%.0s' $(seq 16); head -c 48 /dev/zero; } >runs
  "$mivo" dump -a --offsets runs >got
  printf '%s\n' \
    "00000000: 0000 0000 0000 0000 0000 0000 0000 0000  ................" "*" \
    "00000040: 7878 7878 7878 7878 7878 7878 7878 7878  xxxxxxxxxxxxxxxx" \
    "00000050: 0000 0000 0000 0000 0000 0000 0000 0000  ................" "*" \
    "00000070: 0000 0000 0000 0000 0000 0000 0000 0000  ................" >want
  cmp -s got want || fail "squeezed runs: $(cat got)"
  truncate -s 1T sparse
  timeout 10 "$mivo" dump -a sparse >got || fail "1 TiB sparse: exit $?"
  [ "$(wc -l <got)" = 3 ] && [ "$(sed -n 3p got | cut -d: -f1)" = 68719476735 ] ||
    fail "1 TiB sparse: $(cat got)"
  # A hole after data that ends in a byte other than zero, at a whole number of reads.
  { head -c 262143 /dev/zero; printf x; } >sparse
  truncate -s 1T sparse
  timeout 10 "$mivo" dump -a sparse >got || fail "1 TiB hole after data: exit $?"
  [ "$(wc -l <got)" = 6 ] || fail "1 TiB hole after data: $(cat got)"
  random_file in 100000
  "$mivo" dump -a in >got
  "$reference" <in >want
  cmp -s got want || fail "random data has nothing to squeeze"
}

case_color() {
  printf 'Hi\0\n\x01\x80' >in
  "$mivo" dump --color=always in >got
  grep -q $'\e\\[36m' got || fail "no colour with --color=always"
  sed $'s/\e\\[[0-9;]*m//g' got >stripped
  "$mivo" dump in >want
  cmp -s stripped want || fail "colour removed is not the plain dump"
  "$mivo" dump in >got
  ! grep -q $'\e' got || fail "colour into a file"
  command -v script >/dev/null || { echo "skipped the terminal cases: no script"; exit 0; }
  on_terminal() { TERM=${TERM_FOR_TEST:-xterm} script -qec "$*" /dev/null; }
  on_terminal "'$mivo' dump in" | grep -q $'\e\\[36m' || fail "no colour on a terminal"
  on_terminal "NO_COLOR=1 '$mivo' dump in" | grep -q $'\e\\[36m' && fail "NO_COLOR ignored"
  TERM_FOR_TEST=dumb on_terminal "'$mivo' dump in" | grep -q $'\e\\[36m' && fail "TERM=dumb"
  on_terminal "'$mivo' dump --color=never in" | grep -q $'\e\\[36m' && fail "--color=never"
  true
}

case_encode_wraps_and_writes_c_arrays() {
  [ "$(printf 'abcde' | "$mivo" encode -w 4)" = $'6162\n6364\n65' ] || fail "-w 4"
  printf 'ab' | "$mivo" encode -w 4 --no-newline >got
  [ "$(od -An -c got | tr -d ' ')" = '6162\n' ] || fail "-w 4 of a full line: every line ends"
  # Any width, odd or even, with lines that straddle reads and files: the unwrapped digits
  # folded.
  random_file big.bin 600001
  random_file small.bin 77
  for width in 1 2 7 60 62 64 66 200; do
    "$mivo" encode -w "$width" big.bin small.bin big.bin >got
    "$mivo" encode big.bin small.bin big.bin | fold -w "$width" >want
    cmp -s got want || fail "-w $width differs from the digits folded"
  done
  "$mivo" encode -u -w 60 small.bin big.bin >got
  "$mivo" encode -u small.bin big.bin | fold -w 60 >want
  cmp -s got want || fail "-u -w 60 differs from the digits folded"
  command -v xxd >/dev/null || { echo "skipped the comparisons with xxd: no xxd"; exit 0; }
  for size in 0 1 29 30 31 12 13 1000 70001; do
    random_file "in$size.bin" "$size"
    "$mivo" encode -w 60 "in$size.bin" >got
    xxd -p "in$size.bin" >want
    cmp -s got want || fail "-w 60 of $size bytes differs from xxd -p"
    "$mivo" encode -i "in$size.bin" >got
    xxd -i "in$size.bin" >want
    cmp -s got want || fail "-i of $size bytes differs from xxd -i"
    "$mivo" encode -i <"in$size.bin" >got
    xxd -i <"in$size.bin" >want
    cmp -s got want || fail "-i of $size bytes on standard input differs from xxd -i"
  done
  cp in13.bin 7-up.dat
  "$mivo" encode -i 7-up.dat >got
  xxd -i 7-up.dat >want
  cmp -s got want || fail "the array's name differs from xxd's"
  "$mivo" encode --c-array=key in13.bin >got
  xxd -i -n key in13.bin >want 2>/dev/null && { cmp -s got want || fail "--c-array=key"; }
  true
}

# Reading dumps back: to standard output, and patching a file in place.
case_undump_round_trips() {
  for size in 0 1 17 1000 300007; do
    random_file "in$size" "$size"
    for flags in "" "--offsets" "--no-row-numbers"; do
      for extra in "" "--no-chars -u" "-a --color=always"; do
        [ "$flags" = --no-row-numbers ] && [ "$extra" = "-a --color=always" ] && extra=--color=always
        # shellcheck disable=SC2086
        "$mivo" dump $flags $extra "in$size" | "$mivo" undump $flags >got ||
          fail "undump $flags of dump $extra: exit $?"
        cmp -s got "in$size" || fail "undump $flags of dump $extra of $size bytes"
      done
    done
  done
  truncate -s 1M holes
  printf x >>holes
  "$mivo" dump -a holes | "$mivo" undump | cmp -s - holes || fail "a squeezed sparse file"
  printf '00000002: 0102\n' | "$mivo" undump >got
  [ "$(od -An -v -tx1 got | tr -d ' \n')" = "$(printf '%064d0102' 0)" ] || fail "zeros before a row"
}

case_undump_errors_name_line_and_column() {
  printf '00000000: 0102  ..\n00000001: 03zz\n' >bad.dump
  run undump bad.dump
  expect_rc 1
  expect_err "mivo: bad.dump: line 2: column 13: Mivo.to_char: 122 is an invalid char"
  [ "$(od -An -tx1 out | tr -d ' ')" = 0102 ] || fail "rows before the bad line"
  printf '00000000: 0102\n' >a.dump
  printf '\n00000001: 0\n' >odd.dump
  run undump a.dump - <odd.dump
  expect_err "mivo: -: line 2: column 11: Hex conversion: Hex string cannot have an odd number of characters."
  printf '00000001: 00\n00000000: 00\n' >back.dump
  run undump back.dump
  expect_err "mivo: back.dump: line 2: column 1: row placed before the end of the rows before it"
  run undump --offsets --no-row-numbers a.dump
  expect_rc 2
  run undump --offsets --patch nowhere a.dump
  expect_rc 1
  expect_err "mivo: nowhere: No such file or directory"
}

case_undump_patches_in_place() {
  random_file target 100000
  cp target original
  "$mivo" dump --offsets -s 4096 -n 64 target >part.dump
  sed -i '2s/^\(.\{10\}\)..../\1beef/; 1s/  .*/  edited chars here/' part.dump
  "$mivo" undump --offsets --patch target part.dump || fail "patch: exit $?"
  [ "$(stat -c %s target)" = 100000 ] || fail "the target's length changed"
  cmp -l original target | awk '{print $1}' >changed
  [ "$(tr '\n' ' ' <changed)" = "4113 4114 " ] || fail "changed bytes: $(cat changed)"
  [ "$(head -c 4114 target | tail -c 2 | od -An -tx1 | tr -d ' ')" = beef ] || fail "the patch"
  # Rows in any order; a row past the end grows the file.
  printf '00000010: aa\n00000000: bb\n000186a0: cc\n' | "$mivo" undump --offsets --patch target
  [ "$(stat -c %s target)" = 100001 ] || fail "a row past the end"
  # A bad last line leaves the target as it was, from a FILE or standard input.
  cp target before
  printf '00000000: 0000\n00000010: 00x0\n' >bad.dump
  run undump --offsets --patch target bad.dump
  expect_rc 1
  cmp -s target before || fail "a bad dump changed the target"
  run undump --offsets --patch target - <bad.dump
  expect_rc 1
  cmp -s target before || fail "a bad dump on standard input changed the target"
  printf '00000000: 0102\n' | "$mivo" undump --offsets --patch target - a-missing-file 2>err
  cmp -s target before || fail "an unreadable FILE after a good one changed the target"
}

case_undump_agrees_with_xxd() {
  command -v xxd >/dev/null || { echo "skipped: no xxd"; exit 0; }
  for size in 1 16 1000 70001; do
    random_file "in$size" "$size"
    xxd "in$size" | "$mivo" undump --offsets | cmp -s - "in$size" || fail "undump of xxd, $size"
    "$mivo" dump --offsets "in$size" | xxd -r | cmp -s - "in$size" || fail "xxd -r, $size"
    "$mivo" dump --offsets -s 100 "in$size" >part.dump
    cp "in$size" a; cp "in$size" b
    xxd -r part.dump a; "$mivo" undump --offsets --patch b part.dump
    cmp -s a b || fail "patching differs from xxd -r, $size"
  done
}

# --patch reads the dump once, whatever it is, and never writes half a patch.
case_patch_reads_the_dump_once() {
  random_file t 16
  cp t original
  "$mivo" dump --offsets t | sed 's/^00000000: ..../00000000: 4142/' >d.dump
  "$mivo" undump --offsets --patch t <(cat d.dump) || fail "process substitution: exit $?"
  [ "$(head -c 2 t)" = AB ] || fail "a dump through a process substitution was not applied"
  cp original t
  cat d.dump | "$mivo" undump --offsets --patch t /dev/stdin || fail "/dev/stdin: exit $?"
  [ "$(head -c 2 t)" = AB ] || fail "a dump through /dev/stdin was not applied"
  # Two writers on a FIFO, a good dump then a bad one: judged as one, nothing written.
  cp original t
  mkfifo fifo
  { cat d.dump; printf '00000000: zz\n'; } >fifo &
  run undump --offsets --patch t fifo
  expect_rc 1
  cmp -s t original || fail "a FIFO whose text turned bad changed the target"
  run undump --offsets --patch t t
  expect_rc 1
  expect_err "mivo: t: input file is output file"
  run undump --offsets --patch d.dump - <d.dump
  expect_err "mivo: d.dump: input file is output file"
  # A dump of a region names its bytes by offset; row numbers cannot say where bytes go.
  run undump --patch t d.dump
  expect_rc 2
  [[ $err == *"--patch needs rows labelled with byte offsets"*"add --offsets"* ]] || fail "$err"
}

case_patch_fails_before_writing_what_it_can_foresee() {
  random_file t 16
  cp t original
  for text in '00000000: 4142\n7ffffffffffffff0: 0001 0203 0405 0607 0809 0a0b 0c0d 0e0f 10\n' \
      '00000000: 4142\n*\n7fffffffffffff00: 4546\n'; do
    # shellcheck disable=SC2059
    printf "$text" >far.dump
    timeout 10 "$mivo" undump --offsets --patch t far.dump 2>err
    [ "$?" = 1 ] || fail "a row past what a file holds: exit $?"
    grep -q "File too large" err || fail "$(cat err)"
    cmp -s t original || fail "a row past what a file holds changed the target"
  done
  printf '00000000: 4142\n00002000: 4546\n' >grows.dump
  (ulimit -f 4; "$mivo" undump --offsets --patch t grows.dump 2>err; echo $? >rc)
  [ "$(cat rc)" = 1 ] && grep -q "the file size limit is 4096 bytes" err ||
    fail "past ulimit -f: exit $(cat rc), $(cat err)"
  cmp -s t original || fail "past ulimit -f, the target changed"
  mkfifo fifo
  run undump --offsets --patch fifo grows.dump
  expect_err "mivo: fifo: not a regular file or block device"
  run undump --offsets --patch /dev/null grows.dump
  expect_err "mivo: /dev/null: not a regular file or block device"
  run undump --undo t
  expect_rc 1
  expect_err "mivo: t: no interrupted patch to undo (no t.mivo-undo)"
  # A patch too large to keep in memory goes to $TMPDIR, named when that fails.
  random_file large 1200000
  "$mivo" dump --offsets large >large.dump
  cp large original
  TMPDIR=$PWD/nowhere "$mivo" undump --offsets --patch large large.dump 2>err
  [[ $(cat err) == "mivo: $PWD/nowhere/mivo-patch."*": No such file or directory" ]] ||
    fail "a missing \$TMPDIR: $(cat err)"
  cmp -s large original || fail "a missing \$TMPDIR changed the target"
}

# A disk too small for the growth, or for the undo file: found before the first write.
case_patch_on_a_full_disk() {
  mkdir small
  mount -t tmpfs -o size=256k tmpfs small 2>/dev/null || { echo "skipped: cannot mount"; exit 0; }
  trap 'umount "$work/small"; rm -rf "$work"' EXIT
  random_file small/t 10000
  random_file source 310000
  "$mivo" dump --offsets -s 10000 source >grow.dump
  cp small/t original
  run undump --offsets --patch small/t grow.dump
  expect_rc 1
  expect_err "mivo: small/t: No space left on device"
  cmp -s small/t original || fail "growth past a full disk changed the target"
  random_file small/t 150000
  cp small/t original
  "$mivo" dump --offsets small/t | sed 's/^\(.\{10\}\)..../\1beef/' >all.dump
  run undump --offsets --patch small/t all.dump
  expect_rc 1
  expect_err "mivo: small/t.mivo-undo: write error: No space left on device"
  cmp -s small/t original || fail "a full disk changed the target"
  [ "$(ls small)" = t ] || fail "a full disk left files behind: $(ls small)"
}

# Stopped at any point, the target is whole, or --undo makes it so.
case_patch_interrupted() {
  random_file t 24000000
  cp t original
  random_file new 24000000
  "$mivo" dump --offsets new >new.dump
  for signal in TERM KILL; do
    for delay in 0.05 0.15 0.25 0.35; do
      cp original t
      "$mivo" undump --offsets --patch t new.dump 2>err &
      sleep "$delay"
      kill -s "$signal" $! 2>/dev/null
      wait $!
      if [ -e t.mivo-undo ]; then
        [ "$signal" = KILL ] || fail "SIGTERM left an undo file"
        run undump --offsets --patch t new.dump
        expect_rc 1
        [[ $err == *"an interrupted patch left t.mivo-undo"* ]] || fail "$err"
        "$mivo" undump --undo t || fail "--undo: exit $?"
        [ ! -e t.mivo-undo ] || fail "--undo left its file"
        cmp -s t original || fail "--undo after SIGKILL at $delay s"
      else
        cmp -s t original || cmp -s t new || fail "SIG$signal at $delay s left half a patch"
      fi
    done
  done
}

case_undump_leaves_holes_and_reads_crlf() {
  printf '40000000: 4546\n' | "$mivo" undump --offsets >big || fail "exit $?"
  [ "$(stat -c %s big)" = 1073741826 ] || fail "size $(stat -c %s big)"
  [ "$(du -k big | cut -f1)" -lt 1024 ] || fail "the gap was written, not left as a hole"
  [ "$(tail -c 2 big)" = EF ] || fail "the row after the gap"
  printf 'old contents' >over
  printf '00000004: 41\n' | "$mivo" undump --offsets 1<>over
  [ "$(od -An -c over | tr -d ' ')" = '\0\0\0\0Aontents' ] || fail "zeros over what a file held"
  random_file in 1000
  for flags in "" --offsets --no-row-numbers; do
    # shellcheck disable=SC2086
    "$mivo" dump $flags in | sed 's/$/\r/' | "$mivo" undump $flags | cmp -s - in ||
      fail "CRLF line ends, $flags"
  done
  xxd in | sed 's/$/\r/' | "$mivo" undump --offsets | cmp -s - in || fail "xxd's dump with CRLF"
}

case_option_values() {
  random_file in 40
  for args in "encode -w -1 in:invalid width: '-1'" \
      "encode -w 18446744073709551616 in:invalid width: '18446744073709551616'" \
      "encode --c-array= in:--c-array: empty value" "dump --no-chars=3 in:--no-chars takes no value" \
      "dump --offsets=1 in:--offsets takes no value" "undump --undo t in:--undo TARGET takes no dump: it conflicts with --patch and FILE"; do
    # shellcheck disable=SC2086
    run ${args%%:*}
    expect_rc 2
    [ "$(head -n 1 err)" = "mivo: ${args#*:}" ] || fail "${args%%:*}: $(head -n 1 err)"
  done
  for pair in 1k:1024 1kiB:1024 1m:1048576 2b:1024 1kB:1000 1PB:1000000000000000 \
      1E:1152921504606846976; do
    "$mivo" encode -n "${pair%%:*}" -s "${pair%%:*}" in >got || fail "-n ${pair%%:*}"
    "$mivo" encode -n "${pair#*:}" -s "${pair#*:}" in >want
    cmp -s got want || fail "${pair%%:*} is not ${pair#*:}"
  done
  "$mivo" encode --help >out
  grep -q -- '-i,--c-array\[=NAME\]' out || fail "encode --help: $(grep -- -i, out)"
  ! grep -q '{' out || fail "encode --help shows a parser artefact"
  "$mivo" dump --help | grep -q -- '--color\[=WHEN\]' || fail "dump --help: --color"
  "$mivo" undump --help >out
  ! grep -q -- 'encode\|-s,--start' out || fail "undump --help speaks of what undump does not take"
}

case_c_array_names_as_xxd() {
  command -v xxd >/dev/null || { echo "skipped: no xxd"; exit 0; }
  random_file in 30
  for name in a-b 9lives 'x"; int y[] = {0' ok_name; do
    "$mivo" encode --c-array="$name" in >got
    xxd -i -n "$name" in >want
    cmp -s got want || fail "--c-array=$name differs from xxd -i -n"
  done
  "$mivo" encode -i -u in >got
  xxd -i -u in >want
  cmp -s got want || fail "-i -u differs from xxd -i -u"
}

case_regions_of_proc_files_and_devices() {
  command -v xxd >/dev/null || { echo "skipped: no xxd"; exit 0; }
  "$mivo" dump --offsets -s 16 -n 32 /proc/version >got
  xxd -s 16 -l 32 /proc/version >want
  cmp -s got want || fail "a region of a /proc file"
  random_file img 65536
  device=$(losetup -f --show img 2>/dev/null) || { echo "skipped: no loop device"; exit 0; }
  trap 'losetup -d "$device"; rm -rf "$work"' EXIT
  "$mivo" dump --offsets -s -32 "$device" >got
  xxd -s -32 "$device" >want
  cmp -s got want || fail "the last bytes of a block device"
  printf '00010000: 00\n' >past.dump
  run undump --offsets --patch "$device" past.dump
  expect_err "mivo: $device: a row ends at byte 65537, past the end of the device (65536 bytes)"
}

case_find() {
  printf 'xxMZ\220\0yyMZ\1\0\0\0' >f
  [ "$("$mivo" find '4d 5a ?? 00' f | tr '\n' ' ')" = "0x2 0x8 " ] || fail "4d 5a ?? 00"
  [ "$("$mivo" find -d '00 00' - <f | tr '\n' ' ')" = "11 12 " ] || fail "overlapping, -d"
  [ "$("$mivo" find -t -i -c mz f f | tr '\n' ' ')" = "f:2 f:2 " ] || fail "-t -i -c"
  [ "$("$mivo" find -l 5a f f)" = "$(printf 'f\nf')" ] || fail "-l"
  [ "$("$mivo" find -m 1 4d f)" = 0x2 ] || fail "-m 1"
  run find 'ee' f
  expect_rc 1
  run find 4d f missing f
  expect_rc 2
  expect_err "mivo: missing: No such file or directory"
  [ "$(cat out)" = "$(printf 'f:0x2\nf:0x8\nf:0x2\nf:0x8')" ] || fail "the other files are still searched"
  for args in "find '4d 5' f:PATTERN '4d 5': column 4: odd number of digits" \
      "find -i 4d f:-i needs -t: hex digits have no case" \
      "find -c -l 4d f:--count and --files-with-matches conflict"; do
    eval "run ${args%%:*}"
    expect_rc 2
    [ "$(head -n 1 err)" = "mivo: ${args#*:}" ] || fail "${args%%:*}: $(head -n 1 err)"
  done
  # A match across two reads, and one right after a hole, which is passed over unread.
  { head -c 262143 /dev/zero; printf 'MZ'; } >edge
  [ "$("$mivo" find 4d5a edge)" = 0x3ffff ] || fail "a match across two reads"
  truncate -s 1T sparse
  printf '\0MZ' >>sparse
  [ "$(timeout 10 "$mivo" find '00 4d 5a' sparse)" = 0x10000000000 ] || fail "after a 1 TiB hole"
  # --context: the rows around each match, each row once, the matched bytes marked.
  [ "$("$mivo" find --context 0 '4d 5a ?? 00' f)" = "$(printf '%s\n%15s%s' \
      '00000000: 7878 4d5a 9000 7979 4d5a 0100 0000       xxMZ..yyMZ....' '' \
      '^^^^ ^^^^      ^^^^ ^^^^              ^^^^  ^^^^')" ] || fail "--context 0"
  "$mivo" find --context 1 --color=always 4d5a edge >coloured
  [ "$(sed 's/\x1b\[[0-9;]*m//g' coloured)" = "$("$mivo" dump --offsets -s 0x3ffe0 edge)" ] ||
    fail "--context 1 at the end of a file"
  grep -q $'\e\[31m4d' coloured || fail "the match is not coloured"
  [ "$(timeout 10 "$mivo" find --context 1 '4d 5a' sparse | tail -n 2 | head -n 1)" = \
      "10000000000: 004d 5a                                  .MZ" ] || fail "--context after a hole"
  run find --context 1 -c 4d f
  expect_rc 2
  [ "$(head -n 1 err)" = "mivo: --context shows matches: it conflicts with --count and --files-with-matches" ] ||
    fail "--context -c: $(head -n 1 err)"
}

case_diff() {
  # No zeros and no 'Q' in a, so that the 50 zeros and the 'Q' put into b all differ from it.
  head -c 100000 /dev/urandom | tr 'Q\000' 'R\001' >a
  { head -c 10000 a; printf Q; tail -c +10001 a | head -c 30000; head -c 50 /dev/zero
    tail -c +40051 a | head -c 29950; tail -c +70101 a; } >b
  run diff a a
  expect_rc 0
  [ -z "$out" ] || fail "identical files print nothing"
  run diff a b
  expect_rc 1
  [ "$(grep -c '^@@' out)" = 3 ] || fail "three edits, $(grep -c '^@@' out) hunks"
  [ "$(grep '^@@' out | tr '\n' ' ')" = "@@ -0x2710 +0x2710 @@ @@ -0x9c40 +0x9c41 @@ @@ -0x11170 +0x11171 @@ " ] ||
    fail "hunk offsets: $(grep '^@@' out)"
  [ "$(tail -n 1 out)" = "99850 bytes equal, 1 inserted, 100 deleted, 50 changed" ] ||
    fail "summary: $(tail -n 1 out)"
  [ "$(head -n 3 out)" = "$(printf -- '--- a\n+++ b\n= 9968 equal bytes')" ] || fail "header"
  # Rows as mivo dump --offsets shows them, a marker line under each row that changed.
  row=$("$mivo" dump --offsets -s 0x2710 -n 16 b)
  grep -qxF -- "+$row" out || fail "the inserted row is not shown as dump --offsets shows it"
  grep -qxF -- "$(printf '           ++%39s+' '')" out || fail "no marker under the inserted byte"
  "$mivo" diff --color=always --context 0 a b >coloured
  grep -q $'\e\[32mQ' coloured || fail "the inserted byte is not green"
  grep -q '^ ' coloured && fail "marker lines with colour"
  [ "$(sed 's/\x1b\[[0-9;]*m//g' coloured | grep -c '^[-+]')" -lt "$(grep -c '^[-+]0' out)" ] ||
    fail "--context 0 shows as many rows"
  run diff -q a b
  expect_rc 1
  [ -z "$out" ] || fail "-q prints"
  # One file a prefix of the other, an empty file, standard input.
  head -c 5000 a >prefix
  [ "$("$mivo" diff prefix a | tail -n 1)" = "5000 bytes equal, 95000 inserted, 0 deleted, 0 changed" ] ||
    fail "a prefix"
  : >empty
  [ "$("$mivo" diff a empty | tail -n 1)" = "0 bytes equal, 0 inserted, 100000 deleted, 0 changed" ] ||
    fail "an empty file"
  "$mivo" diff - a <a >/dev/null || fail "standard input"
  run diff a missing
  expect_rc 2
  expect_err "mivo: missing: No such file or directory"
  for args in "diff a:diff needs two FILEs" "diff - -:standard input given twice: it can be only one of the FILEs" \
      "diff --context x a b:invalid context: 'x'"; do
    eval "run ${args%%:*}"
    expect_rc 2
    [ "$(head -n 1 err)" = "mivo: ${args#*:}" ] || fail "${args%%:*}: $(head -n 1 err)"
  done
}

case_text_forms() {
  random_file in 300001
  # Byte for byte what Python's bytes.hex(sep, bytes_per_sep) writes, across reads and regions.
  if command -v python3 >/dev/null; then
    for group in 1 2 3 -3 0 7 -1000 1000; do
      "$mivo" encode --sep=: --group=$group in >got || fail "--group=$group: exit $?"
      python3 -c "import sys; print(open('in', 'rb').read().hex(':', $group))" >want
      cmp -s got want || fail "--sep=: --group=$group differs from bytes.hex"
    done
    [ "$("$mivo" encode --sep=' ' --group=3 -s 5 -n 100 in)" = \
      "$(python3 -c "print(open('in', 'rb').read()[5:105].hex(' ', 3))")" ] || fail "a region"
  fi
  # Every form encode writes, decode reads back.
  for form in "--sep=:" "--sep=, --prefix=0x -u" "--prefix=\\x" "--sep=- --group=-4"; do
    # shellcheck disable=SC2086
    "$mivo" encode $form in >text || fail "encode $form"
    case $form in
      *0x*) read_back="--ignore=, --prefix=0x" ;;
      *x*) read_back="--prefix=\\x" ;;
      *) read_back="--ignore=:-" ;;
    esac
    # shellcheck disable=SC2086
    "$mivo" decode $read_back text | cmp -s - in || fail "decode $read_back of encode $form"
  done
  [ "$(printf 'de:ad:be:ef' | "$mivo" decode --ignore=: | od -An -tx1 | tr -d ' ')" = deadbeef ] ||
    fail "de:ad:be:ef"
  run decode --prefix=0x - <<<"0x0x12"
  expect_rc 1
  expect_err "mivo: -: offset 3: Mivo.to_char: 120 is an invalid char"
  run encode --sep=: --group=2 < <(printf ab)
  expect_rc 2
  [ "$(head -n 1 err)" = "mivo: --group N counts groups from the end, which needs one FILE that can seek; --group=-N counts them from the start" ] ||
    fail "--group 2 of a pipe: $(head -n 1 err)"
  # C arrays, as encode -i and xxd -i write them, read back.
  "$mivo" encode -i in | "$mivo" decode --c-array | cmp -s - in || fail "encode -i | decode -i"
  if command -v xxd >/dev/null; then
    xxd -i in | "$mivo" decode -i | cmp -s - in || fail "xxd -i | decode -i"
  fi
  run decode -i - < <(printf 'unsigned char x[] = {\n  0x01, 0x2g\n};\n')
  expect_rc 1
  expect_err "mivo: -: line 2: column 9: expected a byte such as 0x1f, not '0x2g'"
  run encode --sep=: -w 60 in
  expect_rc 2
  [ "$(head -n 1 err)" = "mivo: --width and --sep, --group, --prefix conflict" ] || fail "-w with --sep"
}

case_layouts_match_xxd() {
  command -v xxd >/dev/null || { echo "skipped: no xxd"; exit 0; }
  for size in 0 5 17 4099; do
    random_file "in$size" "$size"
    for args in "-c 1" "-c 7" "-c 32 -g 4" "-c 256" "-g 1" "-g 3" "-g 0" "-g 8" "-g 16" \
        "-e" "-e -g 2" "-e -g 8 -c 32" "-b" "-b -c 4 -g 2" "-b -c 7 -u" "-d" "-o 100" \
        "-d -o 0x10 -c 9" "-E" "-E -u -g 1" "-u -c 12 -g 3" "-s 100 -n 37 -c 10" "-s 7 -d -e"; do
      # shellcheck disable=SC2086
      "$mivo" dump --offsets $args "in$size" >got || fail "dump --offsets $args: exit $?"
      # shellcheck disable=SC2086
      xxd ${args//-n/-l} "in$size" >want
      cmp -s got want || fail "dump --offsets $args of $size bytes differs from xxd"
      # shellcheck disable=SC2086
      "$mivo" undump --offsets $(sed -E 's/-[sn] [0-9]+//g' <<<"$args") <want >back 2>err ||
        fail "undump $args: $(cat err)"
      case $args in
        *-s*) ;;  # a region reads back at its offsets
        *) cmp -s back "in$size" || fail "xxd $args of $size bytes does not read back" ;;
      esac
    done
  done
  # xxd -e drops and misplaces bytes when a row is not whole groups; each group is a word here.
  printf 'Hello, world' >hw
  "$mivo" dump --offsets -e -c 10 hw >got
  printf '%s\n' "00000000: 6c6c6548 77202c6f 726f  Hello, wor" \
    "0000000a:     646c                ld" | cmp -s - got || fail "-e -c 10: $(cat got)"
  "$mivo" undump --offsets -e -c 10 got | cmp -s - hw || fail "-e -c 10 does not read back"
}

case_canonical_matches_hexdump() {
  command -v hexdump >/dev/null || { echo "skipped: no hexdump"; exit 0; }
  head -c 100 /dev/zero >zeros
  for size in 0 1 16 17 100 4099; do random_file "in$size" "$size"; done
  for f in in0 in1 in16 in17 in100 in4099 zeros; do
    "$mivo" dump -C "$f" | cmp -s - <(hexdump -Cv "$f") || fail "dump -C $f differs from hexdump -Cv"
    "$mivo" dump -C -a "$f" | cmp -s - <(hexdump -C "$f") || fail "dump -C -a $f differs from hexdump -C"
    # (hexdump -s past the end still prints where it stopped; mivo prints nothing, as for any
    # empty input.)
    if [ "$(wc -c <"$f")" -gt 5 ]; then
      "$mivo" dump -C -s 5 -n 50 "$f" | cmp -s - <(hexdump -Cv -s 5 -n 50 "$f") || fail "-C -s -n of $f"
    fi
    hexdump -C "$f" | "$mivo" undump -C -a | cmp -s - "$f" || fail "hexdump -C $f does not read back"
  done
}

case_layouts_round_trip() {
  random_file in 5000
  head -c 3000 /dev/zero >>in
  for args in "--base=oct" "--base=dec -c 10 -g 3" "-b -e -c 8 -g 4" "-C" "-C -a -c 24" \
      "--no-row-numbers -c 3 -e" "-a -c 8 --color=always" "-E --no-chars -g 5" "-d -a -o 1M"; do
    # shellcheck disable=SC2086
    "$mivo" dump $args in >dump || fail "dump $args"
    # shellcheck disable=SC2086
    "$mivo" undump $args dump | cmp -s - in || fail "undump $args does not give the bytes back"
  done
  # --patch with another layout: the bytes of an edited row go to their place.
  cp in target
  "$mivo" dump -C -s 4096 -n 16 in | sed '1s/^\(.\{10\}\)../\1ff/' >edit
  "$mivo" undump -C --patch target edit || fail "undump -C --patch"
  [ "$(od -An -tx1 -j 4096 -N 1 target | tr -d ' ')" = ff ] || fail "-C --patch did not write"
  # Bad text fails with its line and column, and nothing is written.
  "$mivo" dump --offsets -b -c 2 in | head -n 3 | sed '3s/^\(.\{14\}\)./\12/' >bad
  cp target before
  run undump --offsets -b -c 2 --patch target bad
  expect_rc 1
  expect_err "mivo: bad: line 3: column 15: invalid binary digit"
  cmp -s target before || fail "a bad dump changed the target"
}

case_layout_usage_errors() {
  random_file in 10
  for args in "-c 0|invalid column count '0': 1-256" "-c 257|invalid column count '257': 1-256" \
      "-c x|invalid column count 'x': 1-256" "-g -1|invalid group size '-1': 0-18446744073709551615" \
      "--base=hexa|invalid base 'hexa': hex, bin, oct or dec" "-b --base=oct|--bits and --base=oct conflict" \
      "-d --no-row-numbers|--decimal and --no-row-numbers conflict" \
      "-C --no-row-numbers|--canonical and --no-row-numbers conflict" \
      "-o -5|invalid display offset '-5'" \
      "--offsets -s 10 -o 18446744073709551615|first_offset plus displacement passes 2^64 - 1"; do
    # shellcheck disable=SC2086
    run dump ${args%%|*} in
    expect_rc 2
    [ "$(head -n 1 err)" = "mivo: ${args#*|}" ] || fail "dump ${args%%|*}: '$(head -n 1 err)'"
  done
  # undump takes the same layout options, and refuses the same layouts before reading.
  printf '00000000: 4142\n' > dump
  for args in "-c 0|invalid column count '0': 1-256" "-g x|invalid group size 'x': 0-18446744073709551615" \
      "--base=hexa|invalid base 'hexa': hex, bin, oct or dec" "-b --base=dec|--bits and --base=dec conflict" \
      "-d --no-row-numbers|--decimal and --no-row-numbers conflict" "-o x|invalid display offset 'x'"; do
    # shellcheck disable=SC2086
    run undump ${args%%|*} dump
    expect_rc 2
    [ "$(head -n 1 err)" = "mivo: ${args#*|}" ] || fail "undump ${args%%|*}: '$(head -n 1 err)'"
  done
}

"case_$case"
echo "ok [$case]"
