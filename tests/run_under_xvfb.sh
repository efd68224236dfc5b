#!/usr/bin/env bash
# Runs a command with an X display: the caller's DISPLAY when it has one,
# otherwise a private virtual frame buffer (Xvfb, 1024x768, 24 bits) that
# lives only as long as the command. When WINEPREFIX is set, the prefix's
# Wine processes are waited for (and, if they hang about, ended) before the
# display goes away, so nothing is left running. Exits with the command's
# status, or 1 if no display can be had.
#
#   run_under_xvfb.sh COMMAND [ARGUMENT...]
set -u

if [ $# -eq 0 ]; then
    echo "usage: $0 COMMAND [ARGUMENT...]" >&2
    exit 2
fi

xvfb_pid=""
display_file=""
command_pid=""

finish_wine() {
    # Wine keeps its server and helper processes for a moment after the last
    # program ends; they belong to this run's prefix, so wait for them here.
    [ -n "${WINEPREFIX:-}" ] || return 0
    command -v wineserver >/dev/null 2>&1 || return 0
    timeout 30 wineserver -w </dev/null || wineserver -k </dev/null || true
}

cleanup() {
    if [ -n "$command_pid" ]; then # stopped by a signal: the command goes first
        kill "$command_pid" 2>/dev/null
        wait "$command_pid" 2>/dev/null
    fi
    finish_wine
    if [ -n "$xvfb_pid" ]; then
        kill "$xvfb_pid" 2>/dev/null
        wait "$xvfb_pid" 2>/dev/null
        xvfb_pid=""
    fi
    [ -z "$display_file" ] || rm -f "$display_file"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

if [ -z "${DISPLAY:-}" ]; then
    if ! command -v Xvfb >/dev/null 2>&1; then
        echo "$0: no DISPLAY and no Xvfb (install the xvfb package)" >&2
        exit 1
    fi
    # Xvfb picks a free display number itself and writes it to the file
    # once it accepts connections; no guessing, no race with other runs.
    display_file=$(mktemp)
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset \
        3>"$display_file" </dev/null >/dev/null 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 1 200); do # up to 20 s
        [ -s "$display_file" ] && break
        if ! kill -0 "$xvfb_pid" 2>/dev/null; then
            xvfb_pid=""
            break
        fi
        sleep 0.1
    done
    number=$(tr -dc '0-9' <"$display_file")
    if [ -z "$xvfb_pid" ] || [ -z "$number" ]; then
        echo "$0: Xvfb did not start" >&2
        exit 1
    fi
    export DISPLAY=":$number"
fi

# In the background, so that a signal to this script is acted on at once.
"$@" </dev/null &
command_pid=$!
wait "$command_pid"
status=$?
command_pid=""
exit $status
