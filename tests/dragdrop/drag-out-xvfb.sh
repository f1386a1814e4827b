#!/usr/bin/env bash
# Drags two entries (a file and a folder) out of one X client onto another, driven by xdotool on a
# private Xvfb display, and checks that nothing is written before the button is released and that
# the drop target receives paths that exist. Runs the plain drop and a target that reads the data
# while the drag passes over it. Exit 0 passed, 1 failed, 77 skipped (no xvfb-run or xdotool).
#
#   drag-out-xvfb.sh <drag_source program> <drop_target program>
set -u

source_program=$1
target_program=$2

if [ -z "${KESTREL_IN_XVFB:-}" ]; then
    for tool in xvfb-run xdotool; do
        if ! command -v "$tool" >/dev/null; then
            echo "skipped: $tool is not installed"
            exit 77
        fi
    done
    # Parallel test runs may race for a display number: start at a random one, retry if taken.
    for attempt in 1 2 3; do
        log=$(mktemp)
        KESTREL_IN_XVFB=1 xvfb-run -a -n $((100 + RANDOM % 800)) -e "$log" \
            -s "-screen 0 800x600x24 -nolisten tcp" "$0" "$@"
        status=$?
        if [ $status = 0 ] || ! grep -q "Xvfb failed to start" "$log"; then
            cat "$log" >&2
            rm -f "$log"
            exit $status
        fi
        rm -f "$log"
    done
    echo "Xvfb did not start"
    exit 1
fi

export QT_QPA_PLATFORM=xcb
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# wait_for FILE PATTERN SECONDS
wait_for() {
    local i
    for ((i = 0; i < $3 * 10; i++)); do
        grep -q "$2" "$1" 2>/dev/null && return 0
        sleep 0.1
    done
    return 1
}

# run_once MODE: one drag; prints why it failed and returns 1 on failure.
run_once() {
    local mode=$1 stage="$work/$1-$RANDOM" source_pid target_pid result=0
    local src_log="$stage.source.log" tgt_log="$stage.target.log"
    "$source_program" "$stage" >"$src_log" 2>&1 &
    source_pid=$!
    if [ "$mode" = peek ]; then
        "$target_program" --peek >"$tgt_log" 2>&1 &
    else
        "$target_program" >"$tgt_log" 2>&1 &
    fi
    target_pid=$!

    check() {  # check CONDITION-RESULT MESSAGE
        if [ "$1" != 0 ]; then
            echo "$mode: $2"
            result=1
        fi
    }

    if wait_for "$src_log" READY 10 && wait_for "$tgt_log" READY 10; then
        xdotool mousemove 100 100
        sleep 0.3
        xdotool mousedown 1
        sleep 0.3
        for x in 110 130 160 200 250 300 350 420 460 500; do
            xdotool mousemove "$x" 100
            sleep 0.15
        done
        sleep 0.5
        wait_for "$src_log" DRAG 1
        check $? "the drag did not start"
        [ ! -e "$stage/a.txt" ] && [ ! -e "$stage/folder" ]
        check $? "files were written while the button was held"
        grep -q RENDER "$src_log"
        [ $? != 0 ]
        check $? "rendered while the button was held"
        if [ "$mode" = peek ]; then
            grep -q '^PEEK 2' "$tgt_log"
            check $? "the target could not read the paths during the drag"
            grep -q '^REQUEST text/uri-list buttons=1 complete=0' "$src_log"
            check $? "no data request was seen with the left button held"
        fi
        xdotool mouseup 1
        wait_for "$tgt_log" DROPPED 10
        check $? "no drop arrived"
        grep -q '^ENTER actions=1$' "$tgt_log"
        check $? "the drag offered more than copying"
        grep -qx "DROP $stage/a.txt exists=1 dir=0" "$tgt_log"
        check $? "a.txt was missing at the drop"
        grep -qx "DROP $stage/folder exists=1 dir=1" "$tgt_log"
        check $? "the folder was missing at the drop"
        [ -f "$stage/folder/sub/b.txt" ]
        check $? "the folder's content is missing"
        [ "$(grep -c '^RENDER' "$src_log")" = 1 ] && grep -qx 'RENDER existed=0' "$src_log"
        check $? "not rendered exactly once"
    else
        echo "$mode: the windows did not come up"
        result=1
    fi

    kill "$source_pid" "$target_pid" 2>/dev/null
    wait "$source_pid" "$target_pid" 2>/dev/null
    if [ $result != 0 ]; then
        echo "--- source ($mode)"; cat "$src_log"
        echo "--- target ($mode)"; cat "$tgt_log"
    fi
    return $result
}

status=0
for mode in plain peek; do
    passed=0
    # A display just started can lose the first events; try a few times before failing.
    for attempt in 1 2 3; do
        if run_once "$mode"; then
            passed=1
            echo "$mode: passed (attempt $attempt)"
            break
        fi
    done
    [ $passed = 1 ] || status=1
done
exit $status
