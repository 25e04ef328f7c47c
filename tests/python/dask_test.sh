#!/bin/bash
# examples/dask_convert.py on a LocalCluster of two worker processes over twenty
# files each way: every output byte for byte velmor-convert's, the summary of
# losses, and a refused file reported with exit status 1 while the others convert.
set -u
python=$1
example=$2
convert=$3
bench=$4
. "$(dirname "$0")/../support/scriptcheck.sh"
# English messages, and no gaiji table of the user's for velmor-convert.
export LC_ALL=C
unset LANGUAGE
export XDG_CONFIG_HOME=$work/config

"$bench" corpus --corpus prose 4 corpus.sjis >/dev/null || fail "no corpus"
"$convert" --to-velmor --force -q -o corpus.vel corpus.sjis || fail "no VELMOR corpus"
mkdir vel sjis
for i in $(seq 1 20); do
    head -c $((i * 150000)) corpus.vel > vel/$i.txt
    head -c $((i * 150000)) corpus.sjis > sjis/$i.txt
done
printf 'a\x93\x70\xb0\x0a' > vel/20.txt  # a pair cut by the line's end

# The corpus holds kanji that are kanji-in sequences too: towards VELMOR, --force.
for way in to-sjis:vel: to-velmor:sjis:--force; do
    IFS=: read -r direction inputs force <<< "$way"
    mkdir "dask-$direction" "cli-$direction"
    start=${EPOCHREALTIME/./}
    "$python" "$example" --"$direction" $force --workers 2 -o "dask-$direction" "$inputs" \
        > "summary-$direction.txt" 2> err.txt || fail "$direction: $(cat err.txt)"
    middle=${EPOCHREALTIME/./}
    "$convert" --"$direction" $force -q -j 2 -o "cli-$direction" "$inputs"/* || fail "velmor-convert"
    end=${EPOCHREALTIME/./}
    echo "$direction, 20 files: dask_convert.py $(((middle - start) / 1000)) ms," \
        "velmor-convert -j 2 $(((end - middle) / 1000)) ms"
    for i in $(seq 1 20); do
        cmp -s "dask-$direction/$i.txt" "cli-$direction/$i.txt" ||
            fail "$direction: $i.txt differs from velmor-convert's"
    done
done
grep -qx "vel/20.txt: 1 losses (cut-pair 1)" summary-to-sjis.txt ||
    fail "summary: $(cat summary-to-sjis.txt)"
[ "$(wc -l < summary-to-sjis.txt)" -eq 20 ] || fail "$(cat summary-to-sjis.txt)"

# An existing cluster given by its scheduler's address: a scheduler and a worker on
# the loopback address, stopped at the end.
"$python" -m distributed.cli.dask_scheduler --host 127.0.0.1 --port 0 --no-dashboard \
    --scheduler-file scheduler.json > scheduler.log 2>&1 &
scheduler=$!
"$python" -m distributed.cli.dask_worker --scheduler-file scheduler.json --nthreads 1 \
    --no-dashboard > worker.log 2>&1 &
worker=$!
for _ in $(seq 60); do [ -s scheduler.json ] && break; sleep 0.5; done
address=$("$python" -c 'import json; print(json.load(open("scheduler.json"))["address"])')
mkdir remote
"$python" "$example" --to-sjis --scheduler "$address" -o remote vel > /dev/null 2> err.txt ||
    fail "on $address: $(cat err.txt)"
kill "$worker" "$scheduler"
wait "$worker" "$scheduler"
for i in $(seq 1 20); do
    cmp -s "remote/$i.txt" "cli-to-sjis/$i.txt" || fail "$i.txt on $address differs"
done

# A VELMOR input towards VELMOR is refused; the others still convert.
mkdir refused
printf 'x\x88\x9f\n' > refused-in.txt
"$python" "$example" --to-velmor --workers 2 -o refused refused-in.txt vel/2.txt \
    > summary.txt 2> err.txt
[ $? -eq 1 ] || fail "a refused file gave status 0"
grep -q "vel/2.txt: line [0-9]*, column [0-9]*: kanji-in sequence 93 70: " err.txt || fail "$(cat err.txt)"
[ -e refused/2.txt ] && fail "the refused file was written"
cmp -s refused/refused-in.txt <(printf 'x\x93\x70\xb0\xa1\x93\xf1\r\n\r\n') ||
    fail "the good file was not converted"
finish
