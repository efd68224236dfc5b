#!/usr/bin/env bash
# The filter in the real editors, as a user meets it after installing the
# Debian package: Debian 12's Kdenlive and Shotcut each start under Xvfb,
# list "Velmor Filter+", take it onto a clip, have settings changed in its
# panel (Kdenlive: gain 70, threshold 20, gamma 1.23, S-type curve; Shotcut:
# gain 60, gamma 1.50, bypass titles) and save the project; then have the
# gain keyframed from 70 % at the clip's first frame to 30 % at its last,
# the way a user does it in each editor, and save that as a second project.
# Then the test that renders such projects with melt (editors_tests) runs
# on the four just saved. CI runs it after the tests (as root: it installs the package and
# the editors, and removes the package again).
#
# Kdenlive is driven through its own D-Bus interface (adding the clip and
# the effect, saving) and key presses into its effect panel; Shotcut, which
# has no such interface, by mouse clicks and key presses at the places its
# default layout puts its panels on a 1600 x 1000 screen.
#
# Usage: tools/editors-check.sh BUILD_DIR [OUT_DIR]
#   OUT_DIR receives the pictures kdenlive-list.png, kdenlive-controls.png,
#   kdenlive-keyframes.png, shotcut-list.png, shotcut-controls.png and
#   shotcut-keyframes.png (the README's, in docs/) and the saved projects as
#   the tests keep them (tests/editors/).
set -euo pipefail
build=$(cd "${1:?usage: tools/editors-check.sh BUILD_DIR [OUT_DIR]}" && pwd)
out=${2:-}
[ "$(id -u)" -eq 0 ] || { echo "editors check: needs root (it installs the package)" >&2; exit 1; }
here=$(cd "$(dirname "$0")" && pwd)
bash "$here/install-packages.sh" editors
work=$(mktemp -d)
xvfb=""
cleanup() {
    [ -z "$xvfb" ] || kill "$xvfb" 2>/dev/null || true
    dpkg --purge velmor >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT

echo "-- the package"
(cd "$build" && cpack --config CPackConfig.cmake >/dev/null)
version=$(sed -n 's/^#define VELMOR_VERSION "\(.*\)"$/\1/p' "$build/generated/velmor_version.h")
DEBIAN_FRONTEND=noninteractive apt-get install -y -q "$build/velmor_${version}_amd64.deb" </dev/null >/dev/null
unset FREI0R_PATH

ffmpeg -v error -y -f lavfi -i testsrc2=s=640x360:r=25:d=1 -vf eq=contrast=0.5:brightness=0.1 \
    -c:v ffv1 -pix_fmt yuv444p "$work/clip.mkv" </dev/null
mkdir -p "$work/home" "$work/runtime" "$work/projects" "$work/shots"
chmod 700 "$work/runtime"
Xvfb -displayfd 3 -screen 0 1600x1000x24 -nolisten tcp 3>"$work/display" </dev/null >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(tr -dc 0-9 <"$work/display")" HOME="$work/home" XDG_RUNTIME_DIR="$work/runtime"

shot() { # name [crop]
    import -window root "$work/shots/$1.png"
    [ -z "${2:-}" ] || convert "$work/shots/$1.png" -crop "$2" +repage "$work/shots/$1.png"
}
click() { xdotool mousemove "$1" "$2" click 1; sleep "${3:-0.5}"; }
typed() { xdotool key ctrl+a; xdotool type "$1"; xdotool key Tab; sleep 0.5; }
ended() { # pid: the editor quits by itself, or is ended
    wait_for 30 bash -c "! ps -o stat= -p $1 | grep -q '^[^Z]'" || kill -9 "$1" 2>/dev/null || true
    wait "$1" 2>/dev/null || true
}
wait_for() { # seconds, command...
    local until=$((SECONDS + $1)); shift
    until "$@"; do
        ((SECONDS < until)) || return 1
        sleep 1
    done
}

kdenlive_steps() { # runs inside its own D-Bus session
    kdenlive >"$work/kdenlive.log" 2>&1 &
    local pid=$!
    wait_for 90 xdotool search --name "Kdenlive$" >/dev/null
    sleep 8
    local k=(gdbus call --session -d "org.kde.kdenlive-$pid" -o /kdenlive/MainWindow_1 -m)
    # The effect list, searched for what a user looking for the filter types.
    click 195 465 1 # its tab
    click 207 76     # its search field
    xdotool type contrast
    sleep 2
    shot kdenlive-list 600x330+0+0
    "${k[@]}" org.kde.kdenlive.MainWindow.addProjectClip "$work/clip.mkv" >/dev/null
    sleep 3
    "${k[@]}" org.kde.kdenlive.MainWindow.addTimelineClip "$work/clip.mkv" >/dev/null
    sleep 3
    "${k[@]}" org.kde.kdenlive.MainWindow.addEffect frei0r.velmor >/dev/null
    sleep 2
    click 1094 784 1 # the effect stack
    click 1142 551   # S-type curve
    click 1290 717; typed 70
    click 1290 747; typed 20
    # The gamma is below the panel's fold: its scroll bar's arrow down to the
    # end, where the gamma is the last row, then back to the top.
    for _ in 1 2 3 4 5 6 7 8; do click 1325 765 0.2; done
    click 1290 750; typed 1.23
    for _ in 1 2 3 4 5 6 7 8; do click 1325 525 0.2; done
    sleep 1
    shot kdenlive-controls 430x300+940+490
    kdenlive_save kdenlive.kdenlive
    # Gain keyframed: the effect's own ruler to the clip's last frame, "Add
    # keyframe", 30 there (the first keyframe keeps the 70 typed above).
    click 1297 652 1 # the ruler's right end
    click 994 687 1  # Add keyframe
    click 1290 717; typed 30
    sleep 1
    shot kdenlive-keyframes 430x300+940+490
    kdenlive_save kdenlive-keyframes.kdenlive
    "${k[@]}" org.kde.kdenlive.MainWindow.exitApp >/dev/null || true
    ended "$pid"
}

kdenlive_save() { # file name in $work
    "${k[@]}" org.kde.KMainWindow.activateAction file_save_as >/dev/null &
    wait_for 30 xdotool search --name "Save As" >/dev/null
    sleep 1
    xdotool type "$work/$1"
    xdotool key Return
    wait_for 30 test -s "$work/$1"
    sleep 2
}

shotcut_steps() {
    shotcut --noupgrade --appdata "$work/shotcut" "$work/clip.mkv" >"$work/shotcut.log" 2>&1 &
    local pid=$!
    wait_for 90 xdotool search --name "Shotcut$" >/dev/null
    sleep 8
    click 103 397 1 # the Filters panel
    click 21 367 1.5 # its "+": the filter list
    xdotool type velmor
    sleep 1.5
    shot shotcut-list 640x400+0+80
    click 104 206 3 # the entry: the filter goes onto the clip
    click 470 176; typed 60
    click 470 229; typed 1.5
    click 387 293 1  # Bypass titles
    shot shotcut-controls 640x300+0+80
    xdotool key ctrl+s
    wait_for 30 xdotool search --name "Save XML" >/dev/null
    sleep 1
    xdotool type "$work/shotcut.mlt"
    xdotool key Return
    wait_for 30 test -s "$work/shotcut.mlt"
    sleep 2
    # Gain keyframed: the player to the first frame, the stopwatch (the
    # Keyframes panel opens with a Gain row), 70; the player to the last
    # frame, 30 (a keyframe there).
    click 780 200; xdotool key Home; sleep 1
    click 591 177 1.5 # Gain's stopwatch
    click 470 176; typed 70
    click 780 200; xdotool key End; sleep 1
    click 470 176; typed 30
    sleep 1
    shot shotcut-keyframes 1270x600+0+80
    xdotool key ctrl+shift+s
    wait_for 30 xdotool search --name "Save XML" >/dev/null
    sleep 1
    xdotool type "$work/shotcut-keyframes.mlt"
    xdotool key Return
    wait_for 30 test -s "$work/shotcut-keyframes.mlt"
    sleep 2
    xdotool key ctrl+q
    ended "$pid"
}

export -f kdenlive_steps kdenlive_save shotcut_steps shot click typed wait_for ended
export work

status=0
echo "-- Kdenlive"
dbus-run-session -- bash -c 'set -eu; kdenlive_steps' || status=1
echo "-- Shotcut"
dbus-run-session -- bash -c 'set -eu; shotcut_steps' || status=1
grep -q 'added filter "Velmor Filter+"' "$work/shotcut.log" \
    || { echo "editors check: Shotcut did not list the filter" >&2; status=1; }

# The projects as the tests keep them: the clip's place as @CLIP@.
for p in kdenlive.kdenlive kdenlive-keyframes.kdenlive shotcut.mlt shotcut-keyframes.mlt; do
    if [ ! -s "$work/$p" ]; then echo "editors check: $p was not saved" >&2; status=1; continue; fi
    sed -e "s#root=\"$work\"#root=\"@DIR@\"#" -e "s#$work/clip.mkv#@CLIP@#g" -e 's#>clip.mkv<#>@CLIP@<#g' \
        "$work/$p" >"$work/projects/$p"
    grep -q 'frei0r.velmor' "$work/projects/$p" \
        || { echo "editors check: $p has no Velmor Filter+" >&2; status=1; }
    if grep -q 'name="threads"' "$work/projects/$p"; then
        echo "editors check: $p sets threads on a filter" >&2; status=1
    fi
done
if [ -n "$out" ]; then
    mkdir -p "$out"
    cp "$work"/shots/*.png "$work"/projects/* "$out/"
fi

echo "-- melt renders the saved projects"
VELMOR_EDITOR_PROJECTS="$work/projects" "$build/tests/editors_tests" \
    --gtest_filter='EditorProjects.*' || status=1

if [ $status -ne 0 ]; then echo "editors check: FAILED"; else echo "editors check: passed"; fi
exit $status
