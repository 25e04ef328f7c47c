#!/bin/bash
# Kills velmor-convert and the window's save (savechild: the window's Save As in a
# process of its own) with SIGINT, SIGTERM and SIGKILL at moments spread over a write
# in place (a target with a second name) and over an existing file. Afterwards the
# target is the whole old or the whole new file, or, after SIGKILL of a write in
# place, the old content is kept in a file that the next run names, and that
# `velmor-convert --restore-kept` puts back. SIGINT and SIGTERM end the program with
# 128 + the signal's number once the old content is back, and leave nothing kept.
# After the next run no temporary file and no record is left.
# Usage: kill_test.sh VELMOR_CONVERT SAVECHILD MOMENTS [SEED]
#   MOMENTS moments per tool, target and signal, spread over a whole run; with SEED
#   each moment is moved by a random part of the step between two moments.
set -u
convert=$1
child=$2
moments=$3
RANDOM=${4:-0}
jitter=$([ $# -ge 4 ] && echo 1 || echo 0)
. "$(dirname "$0")/../support/scriptcheck.sh"
export QT_QPA_PLATFORM=offscreen
# velmor-convert's English messages, and no gaiji table of the user's.
export LC_ALL=C
unset LANGUAGE
export XDG_CONFIG_HOME=$work/config
export ASAN_OPTIONS=detect_leaks=0  # a process killed midway leaks what it held

# About 24 MB of Shift-JIS lines, and a target of 8 MB that is not text.
yes $'line of text \x88\x9f\x88\xa0 and more text\r' | head -c 24000000 >in.sjis
head -c 8000000 /dev/urandom >old.bin
printf 'abc\r\n' >tiny.txt

prepare() {  # prepare over|inplace
    rm -rf t
    mkdir t
    cp old.bin t/out
    [ "$1" = inplace ] && ln t/out t/out.link
}

start() {  # start convert|window: writes t/out in the background; sets pid
    if [ "$1" = convert ]; then
        "$convert" -q --to-velmor in.sjis -o t/out 2>run.err &
    else
        "$child" in.sjis t/out 2>run.err &
    fi
    pid=$!
}

milliseconds() {
    echo $(($(date +%s%N) / 1000000))
}

# The whole new file of each tool, and how long a whole run takes over each target.
declare -A duration
for tool in convert window; do
    for mode in over inplace; do
        prepare $mode
        begin=$(milliseconds)
        start $tool
        wait $pid || fail "$tool: a run without a signal failed: $(cat run.err)"
        duration[$tool.$mode]=$(($(milliseconds) - begin))
        cp t/out new.$tool
    done
done

state="$XDG_STATE_HOME/velmor-kanji"

check() {  # check TOOL MODE SIGNAL STATUS WHAT
    local tool=$1 mode=$2 signal=$3 status=$4 what=$5 whole=part
    cmp -s t/out old.bin && whole=old
    cmp -s t/out new.$tool && whole=new
    # The next run cleans up after the killed one, and names what it kept.
    "$convert" -q --to-sjis --check tiny.txt >/dev/null 2>next.err
    outcomes[$whole]=$((${outcomes[$whole]:-0} + 1))
    if [ -s next.err ]; then
        outcomes[kept]=$((${outcomes[kept]:-0} + 1))
        [ "$signal" = KILL ] && [ "$mode" = inplace ] || fail "$what: kept a copy: $(cat next.err)"
        grep -qF "$PWD/t/out: a write of this file was interrupted; its old content is kept in " \
            next.err || fail "$what: the next run does not name the file: $(cat next.err)"
        local copy
        copy=$(sed -n 's/.* is kept in \(.*\) (velmor-convert --restore-kept.*/\1/p' next.err)
        cmp -s "$copy" old.bin || fail "$what: the kept copy $copy is not the old content"
        "$convert" --restore-kept 2>restore.err || fail "$what: --restore-kept: $(cat restore.err)"
        cmp -s t/out old.bin || fail "$what: --restore-kept did not put the old content back"
    elif [ $whole = part ]; then
        fail "$what: the target holds part of a file, and nothing names its old content"
    fi
    if [ "$signal" != KILL ]; then
        local number
        number=$(kill -l "$signal")
        { [ "$status" -eq $((128 + number)) ] || { [ "$status" -eq 0 ] && [ $whole = new ]; }; } ||
            fail "$what: ended with $status ($(cat run.err))"
    fi
    if [ "$mode" = inplace ]; then
        [ t/out -ef t/out.link ] || fail "$what: the target lost its second name"
    fi
    [ "$(ls -A t | grep -cv '^out')" -eq 0 ] || fail "$what: left in the folder: $(ls -A t)"
    [ -z "$(ls -A "$state" 2>/dev/null)" ] || fail "$what: left in the state folder: $(ls -A "$state")"
}

declare -A outcomes
runs=0
for tool in convert window; do
    for mode in over inplace; do
        for signal in INT TERM KILL; do
            for ((i = 1; i <= moments; i++)); do
                step=$((duration[$tool.$mode] / (moments + 1)))
                at=$((step * i + (jitter ? RANDOM % (step + 1) - step / 2 : 0)))
                prepare $mode
                start $tool
                sleep "$(printf '%d.%03d' $((at / 1000)) $((at % 1000)))"
                kill -s $signal $pid 2>/dev/null
                wait $pid
                status=$?
                check $tool $mode $signal $status "$tool over a target ($mode), SIG$signal at ${at} ms"
                runs=$((runs + 1))
            done
        done
    done
done
echo "$runs runs killed; a whole run took ${duration[convert.over]} and" \
    "${duration[convert.inplace]} ms (convert, over a file and in place)," \
    "${duration[window.over]} and ${duration[window.inplace]} ms (window); the target was left old ${outcomes[old]:-0} times, new ${outcomes[new]:-0}," \
    "part ${outcomes[part]:-0}; ${outcomes[kept]:-0} times the next run named a kept copy"
finish
