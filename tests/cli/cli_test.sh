#!/bin/bash
# velmor-convert end to end on real files: outputs into a folder, by suffix, in
# place, through the standard streams; refusals, failures, usage errors, exit
# statuses and the lines on standard error. `velmor-bench convert` (the window's
# open, conversion and save) shares the run without threads.
set -u
convert=$1
bench=$2
source=$(cd "$(dirname "$0")/../.." && pwd)
. "$(dirname "$0")/../support/scriptcheck.sh"
# English messages, and no gaiji table of the user's unless a test puts one there.
export LC_ALL=C
unset LANGUAGE
export XDG_CONFIG_HOME=$work/config

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
# included, is a usage error, nothing written; --in-place writes over it.
cp a.vel self.txt
ln self.txt self-too.txt
expect 2 "$convert" --to-sjis -o self.txt self.txt
grep -q "^velmor-convert: self.txt would be written over its own input; use --in-place$" err.txt ||
    fail "self: $(cat err.txt)"
expect 2 "$convert" --to-sjis -o self-too.txt self.txt
"$convert" -q --to-sjis - -o self-too.txt <self.txt 2>err.txt
[ $? -eq 2 ] || fail "standard input written over itself: $(cat err.txt)"
grep -q "^velmor-convert: <stdin> and self-too.txt are the same file" err.txt ||
    fail "standard input: $(cat err.txt)"
"$convert" -q --to-sjis self.txt >>self-too.txt 2>err.txt
[ $? -eq 2 ] || fail "standard output written over its input: $(cat err.txt)"
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

# A filter: no INPUT reads standard input; an empty input gives an empty output and
# status 0; pipes, FIFOs, devices and process substitution in and out, written
# straight through; a reader that goes away ends it as SIGPIPE ends a filter.
"$convert" --to-sjis < a.vel 2>err.txt > filter.txt && same filter.txt a.want
cat a.vel | "$convert" --to-sjis | cmp -s - a.want || fail "no INPUT in a pipe"
: > empty.txt
echo old > keep.txt
expect 0 "$convert" --to-sjis -o keep.txt empty.txt
[ -e keep.txt ] && [ ! -s keep.txt ] || fail "empty input: $(od -c keep.txt)"
[ -s err.txt ] && fail "empty input told something: $(cat err.txt)"
[ -z "$(: | "$convert" --to-velmor)" ] || fail "empty standard input"
"$convert" --to-sjis /dev/null > devnull.out 2>err.txt && [ ! -s devnull.out ] || fail "/dev/null in"
expect 0 "$convert" --to-sjis -o /dev/null a.vel
"$convert" --to-sjis -o /dev/stdout a.vel | cmp -s - a.want || fail "-o /dev/stdout into a pipe"
"$convert" --to-sjis <(cat a.vel) | cmp -s - a.want || fail "<(...) in"
expect 0 "$convert" --to-sjis -o >(cat > procsub.out) a.vel
mkfifo fifo.in fifo.out
# (Each end gives up after a while, should the program not open the other.)
timeout 30 sh -c 'cat a.vel > fifo.in' &
timeout 30 sh -c 'cat fifo.out > fifo.txt' &
expect 0 "$convert" --to-sjis -o fifo.out fifo.in
wait
same fifo.txt a.want
same procsub.out a.want
[ -p fifo.out ] || fail "the FIFO was replaced"
expect 2 "$convert" --to-sjis --strict fifo.in
expect 2 "$convert" --to-sjis --in-place fifo.in
yes 'a long line of text to fill the pipe' | head -n 200000 > long.txt
"$convert" --to-sjis long.txt 2>err.txt | head -c 1 > /dev/null
[ "${PIPESTATUS[0]}" -eq 141 ] || fail "a closed reader: status ${PIPESTATUS[0]}"
[ -s err.txt ] && fail "a closed reader told something: $(cat err.txt)"

# Refusals and failures: the others are still converted, status 1, one line each in
# the program's own words, and the destination stays as it was. A Ctrl-Z at the
# start ends the input: an empty output, but the lost bytes are always told, also
# with -q.
printf '\x1aabc\n' > ctrlz.txt
mkdir refused
expect 1 "$convert" --to-velmor -q -o refused a.vel ctrlz.txt b.vel missing.txt
[ "$(wc -l < err.txt)" -eq 3 ] || fail "expected three lines: $(cat err.txt)"
grep -q "^velmor-convert: a.vel: line 2, column 1: kanji-in sequence 93 70: .*; --force converts anyway$" err.txt ||
    fail "pre-scan: $(cat err.txt)"
grep -q "^velmor-convert: ctrlz.txt: line 1: 4 bytes after an end mark" err.txt || fail "end mark: $(cat err.txt)"
grep -q "^velmor-convert: missing.txt: file not found (2): No such file or directory$" err.txt ||
    fail "missing: $(cat err.txt)"
expect 1 "$convert" --to-sjis -o nodir/x a.vel
grep -q "^velmor-convert: nodir/x: invalid file name (3): No such file or directory$" err.txt ||
    fail "a missing folder: $(cat err.txt)"
[ -e refused/a.vel ] && fail "refused input was written"
[ -e refused/ctrlz.txt ] && [ ! -s refused/ctrlz.txt ] || fail "input starting with Ctrl-Z"
[ -s refused/b.vel ] || fail "the good input was not converted"
# The pre-scan finds 93 70 wherever it stands, here the second byte of ワ and a p.
printf 'x\r\nab\x83\x93\x70iece\r\n' > piece.sjis
expect 1 "$convert" --to-velmor piece.sjis
grep -q "piece.sjis: line 2, column 4: kanji-in sequence 93 70" err.txt || fail "where: $(cat err.txt)"
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
grep -q "^lossy.sjis:3:1: after-end-mark: 3 bytes " err.txt || fail "end mark: $(cat err.txt)"
grep -q "^lossy.sjis: 5 entries" err.txt || fail "count line: $(cat err.txt)"
"$convert" --to-velmor -q -o plain.vel lossy.sjis 2>/dev/null
same lossy.vel plain.vel
expect 0 "$convert" --to-velmor --report --max-report 0 -o lossy.vel lossy.sjis
[ "$(wc -l < err.txt)" -eq 2 ] || fail "--max-report 0: $(cat err.txt)"
grep -q "^lossy.sjis: 5 more entries not shown (--max-report 0)$" err.txt || fail "cut: $(cat err.txt)"
expect 2 "$convert" --to-velmor --report --max-report -1 lossy.sjis
# By default one summary line a file, the end mark on its own; in position order
# with --report, also where loading found a place after the conversion's; <stdin>.
expect 0 "$convert" --to-velmor -o lossy.vel lossy.sjis
[ "$(wc -l < err.txt)" -eq 2 ] || fail "summary: $(cat err.txt)"
grep -q "^velmor-convert: lossy.sjis: 5 places lose meaning .*(line 1 and more" err.txt ||
    fail "summary: $(cat err.txt)"
printf 'a\r\nb\xf0\x40\r\nc\rd\xfa\x40\r\n' | "$convert" --to-velmor --report > /dev/null 2>err.txt
printf '%s\n' '<stdin>:2:2: gaiji' '<stdin>:3:2: lone-cr' '<stdin>:3:4: ibm-extension' \
    '<stdin>: 3 entries (lone-cr 1, gaiji 1, ibm-extension 1)' > order.want
cut -d: -f1-4 err.txt > order.got
cmp -s order.got order.want || fail "order: $(cat err.txt)"
printf 'a\xf0\x40\r\n' | "$convert" --to-velmor --report > /dev/null 2>err.txt
grep -q "^<stdin>: 1 entry (gaiji 1)$" err.txt || fail "plural: $(cat err.txt)"
cp clean.sjis "$(printf 'n\xe9"\xe6\x97\xa5.sjis')"
expect 0 "$convert" --to-velmor --report-json report.json -o outdir lossy.sjis clean.sjis \
    "$(printf 'n\xe9"\xe6\x97\xa5.sjis')"
# A name that is not UTF-8 stays valid JSON and keeps its exact bytes beside.
grep -q '"input":"n\\ufffd\\"日.sjis","input_bytes":"6EE922E697A52E736A6973",' report.json ||
    fail "json name not UTF-8: $(cat report.json)"
grep -q '^{"schema_version":1,"gaiji_table":null,"files":\[' report.json || fail "json head"
grep -q '"input":"lossy.sjis","output":"outdir/lossy.sjis","direction":"to-velmor","status":"converted","error":null,"counts":{"after-end-mark":1,"lone-cr":1,"gaiji":1,' report.json ||
    fail "json: $(cat report.json)"
grep -q '{"kind":"gaiji","line":1,"column":3,"bytes":"F040"}' report.json || fail "json entry"
grep -q '"input":"clean.sjis","output":"outdir/clean.sjis","direction":"to-velmor","status":"converted","error":null,"counts":{[^}]*},"entries":\[\]}' report.json ||
    fail "json clean: $(cat report.json)"
# Each file's status and error; --check's files are checked, with no output.
expect 1 "$convert" --to-velmor --report-json status.json -o outdir a.vel missing.txt clean.sjis
grep -q '"input":"a.vel","output":"outdir/a.vel","direction":"to-velmor","status":"refused","error":{"code":"kanji-in","message":"line 2, column 1: kanji-in sequence 93 70: [^"]*","line":2,"column":1},' status.json ||
    fail "json refused: $(cat status.json)"
grep -q '"input":"missing.txt","output":"outdir/missing.txt","direction":"to-velmor","status":"failed","error":{"code":2,"message":"file not found (2): No such file or directory","path":"missing.txt"},' status.json ||
    fail "json failed: $(cat status.json)"
grep -q '"input":"clean.sjis",[^}]*"status":"converted"' status.json || fail "json converted"
expect 3 "$convert" --to-velmor --check --report-json - lossy.sjis < /dev/null > check.json
grep -q '"input":"lossy.sjis","output":null,"direction":"to-velmor","status":"checked","error":null,' check.json ||
    fail "json checked: $(cat check.json)"
expect 2 "$convert" --to-velmor --report-json - clean.sjis
grep -q "report-json - would mix" err.txt || fail "json to stdout: $(cat err.txt)"
# The report is written as outputs are, and never over an input or an output.
expect 1 "$convert" --to-velmor --report-json nofolder/r.json -o lossy.vel lossy.sjis
grep -q "^velmor-convert: nofolder/r.json: invalid file name (3): No such file or directory$" err.txt ||
    fail "json into a missing folder: $(cat err.txt)"
cp lossy.sjis lossy.keep
expect 2 "$convert" --to-velmor --report-json lossy.sjis -o lossy.vel lossy.sjis
expect 2 "$convert" --to-velmor --report-json ./lossy.vel -o lossy.vel lossy.sjis
same lossy.sjis lossy.keep
rm -f checked.vel
expect 3 "$convert" --to-velmor --check lossy.sjis clean.sjis
grep -q "^velmor-convert: lossy.sjis: 5 places lose meaning" err.txt || fail "--check: $(cat err.txt)"
expect 0 "$convert" --to-velmor --check clean.sjis
[ -e checked.vel ] && fail "--check wrote something"
# A refused file's status 1 wins over another's losses, and says so.
expect 1 "$convert" --to-velmor --check lossy.sjis a.vel
grep -q "^velmor-convert: 1 file would lose something; the status is 1" err.txt ||
    fail "--check hides 3: $(cat err.txt)"
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
grep -q "bad.tsv:2: VELMOR pair 7F21 is on line 1 too; --gaiji none" err.txt || fail "bad table: $(cat err.txt)"
[ -e never.vel ] && fail "a bad table converted something"
expect 2 "$convert" --to-velmor --gaiji nog.tsv g.sjis
grep -q "^velmor-convert: nog.tsv: gaiji table: file not found (2)" err.txt || fail "no table: $(cat err.txt)"
# The window's table by default, told once; --gaiji none leaves it out; comments
# may be Shift-JIS.
mkdir -p config/velmor-kanji
printf '7F21 F040 \x8d\x82 # \x82\xa0\n' > config/velmor-kanji/gaiji.tsv
expect 0 "$convert" --to-velmor -o g2.vel g.sjis
same g2.vel g.vel
grep -q "^velmor-convert: gaiji table $work/config/velmor-kanji/gaiji.tsv (1 entry)$" err.txt ||
    fail "default table: $(cat err.txt)"
expect 0 "$convert" --to-velmor --gaiji none -o g3.vel g.sjis
cmp -s g3.vel g.vel && fail "--gaiji none used the table"
printf '7F21\n' > config/velmor-kanji/gaiji.tsv
expect 2 "$convert" --to-velmor g.sjis
grep -q "config/velmor-kanji/gaiji.tsv:1: " err.txt || fail "bad default table: $(cat err.txt)"
rm -r config

# UTF-8 both ways through code page 932: --to-utf8 gives what --to-sjis piped into
# iconv gives, --from-utf8 of that what --to-velmor gives of the Shift-JIS, in pieces
# as small as the input allows; what code page 932 or Unicode cannot carry is
# reported with its place in the input.
"$bench" corpus --corpus prose 1 prose.sjis >/dev/null
expect 0 "$convert" --to-velmor --force -o prose.vel prose.sjis
"$convert" --to-sjis prose.vel > prose.back
iconv -f CP932 -t UTF-8 prose.back > piped.utf8 || fail "iconv refused the Shift-JIS"
expect 0 "$convert" --to-utf8 -o prose.utf8 prose.vel
same prose.utf8 piped.utf8
expect 0 "$convert" --to-velmor --force -o twice.vel prose.back
expect 0 "$convert" --from-utf8 --force -o prose.again prose.utf8
same prose.again twice.vel
"$convert" --to-utf8 - < prose.vel > stdin.utf8 && same stdin.utf8 piped.utf8
printf 'a\x93\x70\xb0\xa1\xa9\xa1\x93\xf1\x85\x40\n' > unicodeless.vel
expect 0 "$convert" --to-utf8 --report -o unicodeless.utf8 unicodeless.vel
grep -q "^unicodeless.vel:1:6: no-unicode: .*A9 A1" err.txt || fail "no-unicode: $(cat err.txt)"
grep -q "^unicodeless.vel:1:10: no-unicode: .*85 40" err.txt || fail "no-unicode: $(cat err.txt)"
same unicodeless.utf8 <(printf 'a\xe4\xba\x9c\xef\xbf\xbd\xef\xbf\xbd\r\n\r\n')
printf 'x\xe2\x82\xacy\r\n\xffz\xee\x80\x80\n' > geta.utf8
expect 0 "$convert" --from-utf8 --report --report-json geta.json -o geta.vel geta.utf8
grep -q "^geta.utf8:1:2: no-cp932: .*E2 82 AC" err.txt || fail "no-cp932: $(cat err.txt)"
grep -q "^geta.utf8:2:1: no-unicode: .*FF" err.txt || fail "stray byte: $(cat err.txt)"
grep -q "^geta.utf8:2:3: gaiji: .*EE 80 80" err.txt || fail "gaiji: $(cat err.txt)"
grep -q '"direction":"from-utf8"' geta.json || fail "json: $(cat geta.json)"
same geta.vel <(printf 'x\x93\x70\xa2\xae\x93\xf1y\r\n\x93\x70\xa2\xae\x93\xf1z\x93\x70  \x93\xf1\r\n\r\n')
expect 3 "$convert" --from-utf8 --check geta.utf8
# A kanji-in sequence made by the step (菟 is 93 70) is placed in the UTF-8 input.
printf 'ab\n\xe3\x82\xa2\xe3\x82\xa2\xe8\x8f\x9f\n' > kanji-in.utf8
expect 1 "$convert" --from-utf8 kanji-in.utf8
grep -q "^velmor-convert: kanji-in.utf8: line 2, column 7: kanji-in sequence 93 70: " err.txt ||
    fail "from UTF-8, the kanji-in's place: $(cat err.txt)"
expect 2 "$convert" --to-utf8 --from-utf8 a.vel

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
# Outputs that are inputs of the run, refused before anything is written.
cp a.vel e.txt
cp b.vel e.txt.s
expect 2 "$convert" --to-sjis --suffix .s e.txt e.txt.s
same e.txt.s b.vel
[ -e e.txt.s.s ] && fail "a collision converted something"
expect 2 "$convert" --to-sjis -o . e.txt
same e.txt a.vel
"$convert" --help | grep -q -- "--to-velmor" || fail "--help"
[ "$("$convert" --help | wc -l)" -le 25 ] || fail "--help does not fit a screen"
[ "$("$convert" --help | awk '{ if (length($0) > w) w = length($0) } END { print w }')" -le 80 ] ||
    fail "--help is wider than a screen"
"$convert" --version | grep -q "velmor-convert 1.1" || fail "--version"
[ "$("$convert" -V)" = "velmor-convert 1.1" ] || fail "-V"

# The completion offers every option --help names.
offered=$(bash -c ". '$source/cli/velmor-convert.bash'; COMP_WORDS=(velmor-convert -); COMP_CWORD=1;
    _velmor_convert; printf '%s\n' \"\${COMPREPLY[@]}\"" | sort)
helped=$("$convert" --help | grep -o -- '^  -[^ ]*' | tr ',' '\n' | tr -d ' ' | sort -u)
[ "$offered" = "$helped" ] || fail "completion and --help differ: $offered / $helped"

# Line ends kept: the README's sample, and a round trip of every kind of line end.
"$convert" --to-sjis --keep-line-ends "$source/examples/sample-velmor.txt" |
    cmp -s - "$source/examples/sample-sjis.txt" || fail "the README's sample"
printf 'a\x88\x9fb\r\nc\rd\n\x82\xa0\x81\x40' > ends.sjis
"$convert" --to-velmor --keep-line-ends ends.sjis | "$convert" --to-sjis --keep-line-ends |
    cmp -s - ends.sjis || fail "--keep-line-ends round trip"
"$convert" --to-velmor --keep-line-ends -o ends.vel ends.sjis
"$convert" --to-utf8 --keep-line-ends ends.vel | cmp -s - <(iconv -f CP932 -t UTF-8 ends.sjis) ||
    fail "--to-utf8 --keep-line-ends"
"$convert" --to-utf8 --keep-line-ends ends.vel | "$convert" --from-utf8 --keep-line-ends --force |
    cmp -s - ends.vel || fail "--keep-line-ends round trip through UTF-8"

# Messages in the user's language: Japanese where LC_MESSAGES is ja, --help too;
# every message has its translation.
mkdir locale
if localedef -i ja_JP -f UTF-8 "$work/locale/ja_JP.UTF-8" 2>/dev/null ||
    [ -d "$work/locale/ja_JP.UTF-8" ]; then
    ja() { LOCPATH=$work/locale LC_ALL= LANG=C LC_MESSAGES=ja_JP.UTF-8 LC_CTYPE=ja_JP.UTF-8 "$@"; }
    ja "$convert" --to-sjis missing.txt 2>err.txt
    grep -q "^velmor-convert: missing.txt: ファイルが見つかりません (2): " err.txt || fail "ja: $(cat err.txt)"
    ja "$convert" --help | grep -q "^使い方: velmor-convert" || fail "ja --help"
    ja "$convert" --to-sjis --bogus 2>&1 | grep -q "不明なオプションです: --bogus" || fail "ja usage"
    [ "$(ja "$convert" --help | wc -l)" -le 25 ] || fail "ja --help does not fit a screen"
    LOCPATH=$work/locale LC_ALL=en_US.UTF-8 "$convert" --to-sjis missing.txt 2>&1 |
        grep -q "file not found" || fail "en"
else
    fail "no ja_JP locale could be made (package locales)"
fi
mkdir pot
xgettext --language=C++ --from-code=UTF-8 --keyword=tr --keyword=trn:1,2 -o pot/all.pot \
    "$source"/cli/*.cpp && msgcmp "$source/cli/po/ja.po" pot/all.pot 2>err.txt ||
    fail "messages without a translation: $(cat err.txt)"

finish
