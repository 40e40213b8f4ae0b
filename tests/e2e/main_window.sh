#!/usr/bin/env bash
# The main road of the main window under Xvfb: the splash comes and goes, the window
# titled "Orvane Viewer" appears, choosing a folder of JPEGs in the folder tree lists them
# and shows the first one's thumbnail, Add moves a picture into the series, and closing
# writes the INI file and removes the temporary folder. A start-up without a usable
# temporary directory shows its message and ends with a non-zero code.
#
# Usage: tests/e2e/main_window.sh PATH/TO/orvane-viewer
# Needs Xvfb, xdotool, xdpyinfo (x11-utils) and ImageMagick. Runs without a window manager,
# so windows sit exactly where the program puts them. Screenshots go to build/e2e/.
set -euo pipefail

program=$(realpath "${1:?usage: $0 path/to/orvane-viewer}")
repo=$(cd "$(dirname "$0")/../.." && pwd)
shots="$repo/build/e2e"
mkdir -p "$shots"
rm -f "$shots"/main_window*.png
work=$(mktemp -d)
xvfb_pid=""
app_pid=""

cleanup() {
    [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "main_window.sh: FAILED: $*" >&2
    [ -n "${DISPLAY:-}" ] && import -display "$DISPLAY" -window root "$shots/main_window_failure.png" 2>/dev/null || true
    exit 1
}

# Waits up to $1 tenths of a second for the command after it to succeed.
wait_for() {
    local tenths=$1; shift
    for ((i = 0; i < tenths; i++)); do
        if "$@" >/dev/null 2>&1; then return 0; fi
        sleep 0.1
    done
    return 1
}

start_display() {
    for n in $(seq 90 140); do
        [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
        Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
        xvfb_pid=$!
        export DISPLAY=":$n"
        if wait_for 50 xdpyinfo; then return 0; fi
        kill "$xvfb_pid" 2>/dev/null || true
        xvfb_pid=""
    done
    fail "no X display could be started"
}

# Number of pixels of a screen area whose colour is close to the given one.
count_colour() {  # x y w h colour
    import -display "$DISPLAY" -window root -crop "$3x$4+$1+$2" +repage "$work/crop.png"
    convert "$work/crop.png" -fuzz 12% -fill black +opaque "$5" -fill white -opaque "$5" \
        -colorspace gray -format "%[fx:int(w*h*mean+0.5)]" info:
}

visible_window() {  # exact title
    xdotool search --onlyvisible --name "^$1\$"
}

thumbnail_shown() { [ "$(count_colour "${thumb[@]}" '#ff00ff')" -gt 2000 ]; }
folder_shown() { [ "$(count_colour "${folder_edit[@]}" '#008000')" -gt 30 ]; }
program_ended() { ! kill -0 "$app_pid" 2>/dev/null; }

# ---------------------------------------------------------------- fixtures
mkdir -p "$work/pictures/a-empty" "$work/pictures/b-jpegs" "$work/tmp"
for name in one.jpg Two.JPG three.jpeg; do
    convert -size 320x240 xc:'#ff00ff' "$work/pictures/b-jpegs/$name"
done
ini="$work/orvane-viewer.ini"
# A normal 800 x 600 window at the top-left corner with known splitter positions; the
# tree starts on the empty folder, right above the folder of pictures.
cat > "$ini" <<EOF
[Window]
State=NRM
Left=0
Top=0
Width=800
Height=600

[Spliters]
SplitV=260
SplitList=250

[Viewer]
Source=$work/pictures/a-empty/
EOF

start_display
export QT_QPA_PLATFORM=xcb ORVANE_VIEWER_INI="$ini" TMPDIR="$work/tmp" XDG_RUNTIME_DIR="$work/tmp"

# ---------------------------------------------------------------- splash, then the window
"$program" >"$work/program.log" 2>&1 &
app_pid=$!
wait_for 30 visible_window FRMSplash || fail "the splash did not appear"
import -display "$DISPLAY" -window root "$shots/main_window_splash.png"
wait_for 100 visible_window "Orvane Viewer" || fail "the main window did not appear"
if visible_window FRMSplash >/dev/null 2>&1; then fail "the splash is still up with the main window"; fi

# Window layout (no window manager, so the client area starts at 0,0): the thumbnail
# panel is left below the tree, the series list right, the bottom bar at the bottom.
folder_edit=(100 8 300 16)
thumb=(10 300 240 240)
series=(540 60 240 200)
add_button=(443 564)

# The tree has settled on the start folder once its path shows (green) in the folder field.
wait_for 100 folder_shown || fail "the start folder was not opened"
[ "$(count_colour "${thumb[@]}" '#ff00ff')" -lt 50 ] || fail "a thumbnail shows before a folder of pictures was chosen"
white_before=$(count_colour "${series[@]}" '#ffffff')

# ---------------------------------------------------------------- choose the folder
# The tree has the keyboard; the next folder down is the one with the pictures.
xdotool mousemove --sync 400 300
xdotool key Down
wait_for 50 thumbnail_shown || fail "choosing the folder of JPEGs did not show the first one's thumbnail"
import -display "$DISPLAY" -window root "$shots/main_window_folder.png"

# ---------------------------------------------------------------- Add
xdotool mousemove --sync "${add_button[@]}" click 1
sleep 0.5
white_after=$(count_colour "${series[@]}" '#ffffff')
# The series list was empty; now its first row is drawn (selected) over the white.
[ "$white_after" -lt $((white_before - 1000)) ] || fail "Add did not put the picture into the series"
import -display "$DISPLAY" -window root "$shots/main_window.png"
[ -d "$work/tmp/orvane-viewer-$(id -u)/PellimorTmp" ] || fail "the temporary folder is missing while the program runs"

# ---------------------------------------------------------------- close
kill -TERM "$app_pid"
wait_for 50 program_ended || fail "the program did not end after being asked to close"
wait "$app_pid" && code=0 || code=$?
app_pid=""
[ "$code" -eq 0 ] || fail "the program ended with code $code"
grep -q '^State=NRM' "$ini" || fail "closing did not write the window state"
grep -q '^Width=800' "$ini" || fail "closing did not write the window width"
grep -q '^SplitList=' "$ini" || fail "closing did not write the splitters"
grep -q '^PlaySpeed=' "$ini" || fail "the configuration was not written at start"
[ ! -e "$work/tmp/orvane-viewer-$(id -u)/PellimorTmp" ] || fail "closing left the temporary folder behind"

# ---------------------------------------------------------------- no temporary folder
TMPDIR="$work/no/such/dir" "$program" >"$work/fatal.log" 2>&1 &
app_pid=$!
wait_for 100 visible_window "Error" || fail "no message box when the temporary folder cannot be made"
import -display "$DISPLAY" -window root "$shots/main_window_fatal.png"
xdotool mousemove --sync 512 384
xdotool key Return
wait_for 50 program_ended || fail "the program did not end after the start-up failure"
wait "$app_pid" && code=0 || code=$?
app_pid=""
[ "$code" -ne 0 ] || fail "a failed start-up ended with code 0"
if visible_window "Orvane Viewer" >/dev/null 2>&1; then
    fail "the main window appeared despite the failure"
fi

echo "main_window.sh: passed (screenshots in $shots)"
