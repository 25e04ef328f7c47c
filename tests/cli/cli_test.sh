#!/bin/bash
# velmor-convert end to end on real files: outputs into a folder, by suffix, in
# place, through the standard streams; refusals, failures, usage errors, exit
# statuses and the lines on standard error. `velmor-bench convert` (the window's
# open, conversion and save) shares the run without threads.
set -u
convert=$1
bench=$2
. "$(dirname "$0")/../support/scriptcheck.sh"

# expect STATUS COMMAND...: runs the command, stderr to err.txt, checks the status.
expect() {
    local want=$1
    shift
    "$@" 2>err.txt
    local got=$?
    [ "$got" -eq "$want" ] || fail "'$*' exited $got, expected $want: $(cat err.txt)"
}

same() {
    cmp -s "$1" "$2" || fail "$1 differs from $2"
}

# VELMOR: "abc" and a run of two kanji; the Shift-JIS the window writes for it.
printf 'abc\r\n\x93\x70\xb0\xa1\xb0\xa2\x93\xf1z\n' > a.vel
printf 'abc\r\n\x88\x9f\x88\xa0z\r\n\r\n' > a.want
printf 'x\n' > b.vel
printf 'x\r\n\r\n' > b.want

# One input to a file, to standard output, from standard input.
expect 0 "$convert" --to-sjis -q -o out.txt a.vel
same out.txt a.want
expect 0 "$convert" --to-sjis a.vel
"$convert" --to-sjis a.vel > stdout.txt && same stdout.txt a.want
"$convert" --to-sjis -o - - < a.vel > stdin.txt && same stdin.txt a.want
[ -s err.txt ] && fail "stderr not empty after success: $(cat err.txt)"

# Several inputs into a folder, and -j.
mkdir dir outdir
cp a.vel dir/a.txt
cp b.vel dir/b.txt
expect 0 "$convert" --to-sjis -j 2 -o outdir dir/a.txt dir/b.txt
same outdir/a.txt a.want
same outdir/b.txt b.want
same dir/a.txt a.vel

# Suffix and in place, keeping the file's permission bits.
expect 0 "$convert" --to-sjis --suffix .sjis dir/a.txt dir/b.txt
same dir/a.txt.sjis a.want
same dir/b.txt.sjis b.want
chmod 640 dir/a.txt
expect 0 "$convert" --to-sjis --in-place dir/a.txt
same dir/a.txt a.want
[ "$(stat -c %a dir/a.txt)" = 640 ] || fail "in place lost the mode"
# An output that is its own input, under any name, standard input and output
# included, is refused before anything is written; --in-place writes over it.
cp a.vel self.txt
ln self.txt self-too.txt
expect 1 "$convert" --to-sjis -o self.txt self.txt
grep -q "^velmor-convert: self.txt: 出力先が入力と同じファイルです" err.txt || fail "self: $(cat err.txt)"
expect 1 "$convert" --to-sjis -o self-too.txt self.txt
"$convert" -q --to-sjis - -o self-too.txt <self.txt 2>err.txt
[ $? -eq 1 ] || fail "standard input written over itself: $(cat err.txt)"
"$convert" -q --to-sjis self.txt >>self-too.txt 2>err.txt
[ $? -eq 1 ] || fail "standard output written over its input: $(cat err.txt)"
same self.txt a.vel
expect 0 "$convert" --to-sjis --in-place self.txt
same self-too.txt a.want
# One file's output over another's input: a usage error, nothing converted.
cp b.vel b.vel.x
expect 2 "$convert" --to-sjis --suffix .x b.vel b.vel.x
grep -q "b.vel.x would be written over the input b.vel.x" err.txt || fail "overlap: $(cat err.txt)"
same b.vel.x b.vel

# Standard error closed: it is opened on /dev/null at start, so that no file gets its
# descriptor, and what is meant for it (the report lines of the other files) never
# lands in an output. The run waits on a FIFO while its descriptors are looked at.
mkfifo waiting
exec 3<>waiting
"$convert" -q --to-sjis - -o never.txt <waiting 2>&- 3>&- &
waiter=$!
for _ in $(seq 100); do
    [ "$(readlink /proc/$waiter/exe)" = "$(readlink -f "$convert")" ] && break
    sleep 0.05
done
sleep 0.2
[ "$(readlink /proc/$waiter/fd/2)" = /dev/null ] ||
    fail "standard error was left closed: $(readlink /proc/$waiter/fd/2)"
exec 3>&-
wait $waiter
# Where a file could get it, whether one does depends on the order the two workers
# open files in: a few runs.
mkdir closed closed.out
yes 'big line of text' | head -c 4000000 >closed/big.txt
for i in $(seq 100); do printf 'a\xf0\x40b\r\n' >closed/s$i.txt; done
cp closed/s1.txt closed/first.txt
for run in 1 2 3; do
    "$convert" -q -j2 --report --to-velmor -o closed.out closed/first.txt closed/big.txt \
        closed/s*.txt 2>&-
    [ $? -eq 0 ] || fail "a run without standard error failed"
    grep -lq gaiji closed.out/* && fail "report lines written into $(grep -l gaiji closed.out/*)"
done

# The round trip through VELMOR gives back the Shift-JIS lines.
expect 0 "$convert" --to-velmor -o back.vel a.want
expect 0 "$convert" --to-sjis -o back.sjis back.vel
printf 'abc\r\n\x88\x9f\x88\xa0z\r\n\r\n\r\n\r\n' > back.want
same back.sjis back.want

# Refusals: the others are still converted, status 1, one line each, and the
# destination stays as it was.
: > empty.txt
printf '\x1aabc\n' > ctrlz.txt
echo old > keep.txt
expect 1 "$convert" --to-sjis -o keep.txt empty.txt
same keep.txt <(echo old)
grep -q "^velmor-convert: empty.txt: ファイルを開いて下さい。$" err.txt || fail "empty: $(cat err.txt)"
mkdir refused
expect 1 "$convert" --to-velmor -o refused a.vel ctrlz.txt b.vel missing.txt
[ "$(wc -l < err.txt)" -eq 3 ] || fail "expected three error lines: $(cat err.txt)"
grep -q "a.vel: ファイルは既にＶＥＬＭＯＲ漢字を含んでいます。" err.txt || fail "pre-scan: $(cat err.txt)"
grep -q "missing.txt: ファイルが見つかりません (2)$" err.txt || fail "missing: $(cat err.txt)"
[ -e refused/a.vel ] && fail "refused input was written"
[ -e refused/ctrlz.txt ] && fail "input starting with Ctrl-Z was written"
[ -s refused/b.vel ] || fail "the good input was not converted"
"$convert" --to-velmor - < a.vel > refused.out 2>/dev/null
[ -s refused.out ] && fail "a refused input wrote to standard output"
expect 0 "$convert" --to-velmor --force -o forced.vel a.vel
# A kanji-in after the first piece of the input: still nothing written anywhere.
yes $'abc \x82\xa0\r' | head -n 400000 > late.sjis
printf '\x93\x70\xb0\xa1\r\n' >> late.sjis
"$convert" --to-velmor late.sjis > late.out 2>/dev/null
[ $? -eq 1 ] && [ ! -s late.out ] || fail "a late kanji-in reached standard output"
expect 1 "$convert" --to-velmor -o late.vel late.sjis
[ -e late.vel ] && fail "a late kanji-in wrote the output file"
"$convert" --to-velmor --force - < late.sjis > late.out
expect 0 "$convert" --to-velmor --force -o late.vel late.sjis
same late.out late.vel
# A file with a second name is written in place, so its output waits until all of it
# is read.
cp late.vel linked.vel
ln linked.vel second-name.vel
"$convert" --to-sjis -q -o linked.want late.vel
expect 0 "$convert" --to-sjis --in-place linked.vel
same linked.vel linked.want
same second-name.vel linked.want
[ "$(ls -A refused | grep -c tmp)" -eq 0 ] || fail "temporary files left behind"

# A destination the save refuses: status 1, its message and code, nothing written.
mkdir locked
chmod 555 locked
if [ "$(id -u)" != 0 ]; then
    expect 1 "$convert" --to-sjis -o locked/out.txt a.vel
    grep -q "locked/out.txt: .* (5)$\|locked/out.txt: ファイルへのアクセスが拒否されました (5)$" err.txt ||
        fail "locked: $(cat err.txt)"
fi

# The conversion report: each kind at its line and column, capped per kind, as
# JSON; --check writes nothing and exits 3; --strict refuses what would lose.
printf 'ab\xf0\x40\r\nc\rd\xed\x40\x84\r\n\x1axyz' > lossy.sjis
printf 'abc\r\n' > clean.sjis
expect 0 "$convert" --to-velmor --report -o lossy.vel lossy.sjis
grep -q "^lossy.sjis:1:3: gaiji: " err.txt || fail "gaiji: $(cat err.txt)"
grep -q "^lossy.sjis:2:2: lone-cr: " err.txt || fail "lone-cr: $(cat err.txt)"
grep -q "^lossy.sjis:2:4: outside-ranges: " err.txt || fail "outside: $(cat err.txt)"
grep -q "^lossy.sjis:2:6: lone-lead-byte: " err.txt || fail "lone lead: $(cat err.txt)"
grep -q "^lossy.sjis:3:1: after-end-mark: .* 3 " err.txt || fail "end mark: $(cat err.txt)"
grep -q "^lossy.sjis: 5 entries" err.txt || fail "count line: $(cat err.txt)"
"$convert" --to-velmor -q -o plain.vel lossy.sjis
same lossy.vel plain.vel
expect 0 "$convert" --to-velmor --report --max-report 0 -o lossy.vel lossy.sjis
[ "$(wc -l < err.txt)" -eq 1 ] || fail "--max-report 0: $(cat err.txt)"
cp clean.sjis "$(printf 'n\xe9"\xe6\x97\xa5.sjis')"
expect 0 "$convert" --to-velmor --report-json report.json -o outdir lossy.sjis clean.sjis \
    "$(printf 'n\xe9"\xe6\x97\xa5.sjis')"
# A name that is not UTF-8 stays valid JSON and keeps its exact bytes beside.
grep -q '"input":"n\\ufffd\\"日.sjis","input_bytes":"6EE922E697A52E736A6973",' report.json ||
    fail "json name not UTF-8: $(cat report.json)"
grep -q '"input":"lossy.sjis","direction":"to-velmor","counts":{"after-end-mark":1,"lone-cr":1,"gaiji":1,' report.json ||
    fail "json: $(cat report.json)"
grep -q '{"kind":"gaiji","line":1,"column":3,"bytes":"F040"}' report.json || fail "json entry"
grep -q '"input":"clean.sjis","direction":"to-velmor","counts":{[^}]*},"entries":\[\]}' report.json ||
    fail "json clean: $(cat report.json)"
# The report is written as outputs are, and never over an input or an output.
expect 1 "$convert" --to-velmor --report-json nofolder/r.json -o lossy.vel lossy.sjis
grep -q "^velmor-convert: nofolder/r.json: 不正なファイル名です (3)$" err.txt ||
    fail "json into a missing folder: $(cat err.txt)"
cp lossy.sjis lossy.keep
expect 2 "$convert" --to-velmor --report-json lossy.sjis -o lossy.vel lossy.sjis
expect 2 "$convert" --to-velmor --report-json ./lossy.vel -o lossy.vel lossy.sjis
expect 2 "$convert" --to-velmor --report-json - lossy.sjis
same lossy.sjis lossy.keep
rm -f checked.vel
expect 3 "$convert" --to-velmor --check lossy.sjis clean.sjis
expect 0 "$convert" --to-velmor --check clean.sjis
[ -e checked.vel ] && fail "--check wrote something"
rm -rf strict && mkdir strict
expect 1 "$convert" --to-velmor --strict -o strict lossy.sjis clean.sjis
[ -e strict/lossy.sjis ] && fail "--strict converted a lossy file"
[ -e strict/clean.sjis ] || fail "--strict did not convert a clean file"
# A gaiji table keeps the character both ways; a bad one stops everything.
printf '# pair code\n7F21 F040\n' > gaiji.tsv
printf 'ab\xf0\x40\r\n' > g.sjis
expect 0 "$convert" --to-velmor --gaiji gaiji.tsv --check g.sjis
expect 0 "$convert" --to-velmor --gaiji gaiji.tsv -o g.vel g.sjis
expect 0 "$convert" --to-sjis --gaiji gaiji.tsv -o g.back g.vel
printf 'ab\xf0\x40\r\n\r\n\r\n' > g.want
same g.back g.want
printf '7F21 F040\n7F21 F041\n' > bad.tsv
expect 2 "$convert" --to-velmor --gaiji bad.tsv -o never.vel g.sjis
grep -q "bad.tsv:2: " err.txt || fail "bad table: $(cat err.txt)"
[ -e never.vel ] && fail "a bad table converted something"

# Where no thread can be had (an ordinary user under `ulimit -u 1`), the work is done
# on the one thread there is, -j included.
limited=$(mktemp -d)
chmod 777 "$limited"
cp a.vel b.vel "$limited"
asUser() {
    if [ "$(id -u)" = 0 ]; then setpriv --reuid=65534 --regid=65534 --clear-groups "$@"; else "$@"; fi
}
# The leak check at the end would need a thread of its own.
asUser env ASAN_OPTIONS=detect_leaks=0 bash -c "cd $limited && ulimit -u 1 &&
    exec $convert -q -j 4 --to-sjis --suffix .sjis a.vel b.vel" 2>err.txt
[ $? -eq 0 ] || fail "without threads: $(cat err.txt)"
same "$limited/a.vel.sjis" a.want
same "$limited/b.vel.sjis" b.want
asUser env ASAN_OPTIONS=detect_leaks=0 bash -c "cd $limited && ulimit -u 1 &&
    exec $bench convert --to-sjis a.vel a.bench" >/dev/null 2>err.txt
[ $? -eq 0 ] || fail "velmor-bench without threads: $(cat err.txt)"
same "$limited/a.bench" a.want
rm -rf "$limited"

# Usage errors: status 2 and nothing converted.
rm -f outdir/*
expect 2 "$convert" --to-sjis --bogus a.vel
expect 2 "$convert" a.vel
expect 2 "$convert" --to-sjis --to-velmor a.vel
expect 2 "$convert" --to-sjis a.vel b.vel
expect 2 "$convert" --to-sjis -o nofolder a.vel b.vel
expect 2 "$convert" --to-sjis -o outdir a.vel dir/a.txt a.vel
expect 2 "$convert" --to-sjis -o outdir a.vel dir/a.txt dir/../a.vel
grep -q "two inputs" err.txt || fail "same name: $(cat err.txt)"
expect 2 "$convert" --to-sjis --in-place -
expect 2 "$convert" --to-sjis --in-place a.vel ./a.vel
expect 2 "$convert" --to-sjis --suffix '' a.vel
expect 2 "$convert" --to-sjis --suffix .x --in-place a.vel
[ -z "$(ls outdir)" ] || fail "a usage error converted something"
"$convert" --help | grep -q -- "--to-velmor" || fail "--help"
[ "$("$convert" --help | wc -l)" -le 25 ] || fail "--help does not fit a screen"
[ "$("$convert" --help | awk '{ if (length($0) > w) w = length($0) } END { print w }')" -le 80 ] ||
    fail "--help is wider than a screen"
"$convert" --version | grep -q "velmor-convert 1.1" || fail "--version"

finish
