# Sourced by the shell-script tests: a scratch folder the script runs in, removed at
# the end, and failures counted as they come, so that one run reports them all.
work=$(mktemp -d)
trap 'chmod -R u+w "$work"; rm -rf "$work"' EXIT
cd "$work" || exit 1
# What interrupted writes leave for a later start stays in the scratch folder.
export XDG_STATE_HOME=$work/.state
failures=0

fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# The script's status: 0 without failures.
finish() {
    echo "$failures failures"
    [ "$failures" -eq 0 ]
}
