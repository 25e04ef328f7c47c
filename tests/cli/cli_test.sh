#!/bin/bash
# velmor-convert end to end on real files: outputs into a folder, by suffix, in
# place, through the standard streams; refusals, failures, usage errors, exit
# statuses and the lines on standard error.
set -u
convert=$1
work=$(mktemp -d)
trap 'chmod -R u+w "$work"; rm -rf "$work"' EXIT
cd "$work"
failures=0

fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

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
cp a.vel self.txt
expect 0 "$convert" --to-sjis -o self.txt self.txt
same self.txt a.want

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
[ "$("$convert" --help | wc -l)" -le 24 ] || fail "--help does not fit a screen"
"$convert" --version | grep -q "velmor-convert 1.1" || fail "--version"

echo "$failures failures"
[ "$failures" -eq 0 ]
