#!/bin/bash
# Both programs under a memory limit too small for the input's longest line, and with
# -j: a clean error or a clean run, never a signal, and a target left as it was; and
# -j short of descriptors.
set -u
convert=$1
bench=$2
. "$(dirname "$0")/../support/scriptcheck.sh"

# A 300 MB line, then a short one.
{ head -c 300000000 /dev/zero | tr '\0' 'a'; printf '\r\nend\r\n'; } > long.txt
printf 'abc\r\n\x88\x9f\r\n' > small.txt
printf 'keep' > target.txt
ln target.txt target-link.txt
limited() { bash -c "ulimit -v 400000 && exec $*"; }

limited "$convert" -q --to-velmor long.txt -o target.txt 2>err.txt
status=$?
[ $status -lt 128 ] || fail "velmor-convert ended by signal $((status - 128)): $(cat err.txt)"
[ "$(cat target.txt)" = keep ] || fail "velmor-convert changed the target"
limited "$bench" convert --to-velmor long.txt target.txt >/dev/null 2>err.txt
status=$?
[ $status -lt 128 ] || fail "velmor-bench ended by signal $((status - 128)): $(cat err.txt)"
[ "$(cat target.txt)" = keep ] || fail "velmor-bench changed the target"

mkdir out
limited "$convert" -q -j 4 --to-velmor long.txt small.txt -o out 2>err.txt
status=$?
[ $status -lt 128 ] || fail "-j 4 ended by signal $((status - 128)): $(cat err.txt)"
[ -s out/small.txt ] || fail "-j 4 did not convert the small file: $(cat err.txt)"

# Short of descriptors, -j converts fewer files at once rather than failing some. (Not
# under the sanitizers: their checks need descriptors of their own.)
mkdir many
for i in 1 2 3 4 5 6; do cp small.txt "many/f$i.txt"; done
bash -c "ulimit -n 8 && exec $convert -q -j 4 --to-velmor --suffix .vel many/f*.txt" 2>err.txt
[ $? -eq 0 ] || fail "short of descriptors: $(cat err.txt)"
[ "$(ls many/*.vel | wc -l)" -eq 6 ] || fail "short of descriptors: not every file converted"

finish
