# Sourced by the case scripts of the source checks (layers_cases.sh,
# reads_cases.sh, writes_cases.sh, style_cases.sh), which set check (the check script) and
# cases (their own name for messages). Makes work, the folder for their
# trees (removed on exit), and status, their exit status.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM
status=0

# checkCase NAME EXPECT NEEDLE: runs the check on the tree $work/NAME; it
# must pass when EXPECT is "pass", else fail with NEEDLE in its messages.
# A mismatch prints the check's messages and sets status to 1.
checkCase() {
    if sh "$check" "$work/$1" >"$work/$1.log" 2>&1; then
        result=pass
    else
        result=fail
    fi
    if [ "$2" = pass ]; then
        [ "$result" = pass ] && return
    elif [ "$result" = fail ] && grep -qF -- "$3" "$work/$1.log"; then
        return
    fi
    echo "$cases: $1: expected ${2}, the check gave $result:" >&2
    cat "$work/$1.log" >&2
    status=1
}

# lineCase NAME EXPECT FILE LINE: the check on a tree of the one FILE
# holding LINE; it must pass when EXPECT is "pass", else fail naming FILE.
lineCase() {
    mkdir -p "$work/$1/$(dirname "$3")"
    printf '%s\n' "$4" >"$work/$1/$3"
    checkCase "$1" "$2" "$3:1: "
}
