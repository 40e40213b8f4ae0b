#!/usr/bin/env bash
# The main road of the main window under Xvfb: the splash comes and goes, the window
# titled "Orvane Viewer" appears, choosing a folder of JPEGs in the folder tree lists them
# and shows the first one's thumbnail, Add moves a picture into the series, and closing
# writes the INI file and removes the temporary folder. A window stored far larger than the
# screen opens wholly on it. A start-up without a usable temporary directory shows its
# message and ends with a non-zero code.
#
# Usage: tests/e2e/main_window.sh PATH/TO/orvane-viewer
# Needs Xvfb, xdotool, xdpyinfo (x11-utils) and ImageMagick. Runs without a window manager,
# so windows sit exactly where the program puts them. Screenshots go to build/e2e/.
set -euo pipefail
e2e_name=main_window
source "$(dirname "$0")/e2e_lib.bash"
e2e_setup "${1:-}"
rm -f "$out"/main_window*.png

visible_window() {  # exact title
    xdotool search --onlyvisible --name "^$1\$"
}

thumbnail_shown() { [ "$(count_colour "${thumb[@]}" '#ff00ff')" -gt 2000 ]; }
folder_shown() { [ "$(count_colour "${folder_edit[@]}" '#008000')" -gt 30 ]; }

# ---------------------------------------------------------------- fixtures
mkdir -p "$work/pictures/a-empty" "$work/pictures/b-jpegs"
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

# ---------------------------------------------------------------- splash, then the window
start_program "$ini"
wait_for 30 visible_window FRMSplash || fail "the splash did not appear"
import -display "$DISPLAY" -window root "$out/main_window_splash.png"
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
import -display "$DISPLAY" -window root "$out/main_window_folder.png"

# ---------------------------------------------------------------- Add
xdotool mousemove --sync "${add_button[@]}" click 1
# The series list was empty; now its first row is drawn (selected) over the white.
series_filled() { [ "$(count_colour "${series[@]}" '#ffffff')" -lt $((white_before - 1000)) ]; }
wait_for 50 series_filled || fail "Add did not put the picture into the series"
import -display "$DISPLAY" -window root "$out/main_window.png"
[ -d "$work/tmp/orvane-viewer-$(id -u)/PellimorTmp" ] || fail "the temporary folder is missing while the program runs"

# ---------------------------------------------------------------- close
stop_program
grep -q '^State=NRM' "$ini" || fail "closing did not write the window state"
grep -q '^Width=800' "$ini" || fail "closing did not write the window width"
grep -q '^SplitList=' "$ini" || fail "closing did not write the splitters"
grep -q '^PlaySpeed=' "$ini" || fail "the configuration was not written at start"
[ ! -e "$work/tmp/orvane-viewer-$(id -u)/PellimorTmp" ] || fail "closing left the temporary folder behind"

# ---------------------------------------------------------------- stored far off the screen
# A window stored larger than the screen and beyond its right edge opens wholly on it.
cat > "$work/huge.ini" <<EOF
[Window]
State=NRM
Left=2147483647
Top=2147483647
Width=2147483647
Height=2147483647

[Viewer]
Source=$work/pictures/a-empty/
EOF
start_program "$work/huge.ini"
huge=$(window_id "Orvane Viewer" 60) || true
[ -n "$huge" ] || fail "the main window did not open from huge stored values"
# The window system reports where the window lies once it has been placed.
placed() {
    eval "$(xdotool getwindowgeometry --shell "$huge")"
    [ "$X" -ge 0 ] && [ "$Y" -ge 0 ] && [ $((X + WIDTH)) -le 1280 ] && [ $((Y + HEIGHT)) -le 1024 ]
}
wait_for 50 placed ||
    fail "the window stored far off the screen is not wholly on it: $(xdotool getwindowgeometry "$huge" | tr '\n' ' ')"
stop_program

# ---------------------------------------------------------------- no temporary folder
# A folder below a regular file can never be made.
touch "$work/not-a-folder"
QT_QPA_PLATFORM=xcb ORVANE_VIEWER_INI="$ini" TMPDIR="$work/not-a-folder/tmp" \
    "$program" >"$work/fatal.log" 2>&1 &
app_pid=$!
error_box=$(window_id "Error" 10) || true
[ -n "$error_box" ] || fail "no message box when the temporary folder cannot be made"
import -display "$DISPLAY" -window root "$out/main_window_fatal.png"
keys_to "$error_box" Return
wait_for 50 program_ended || fail "the program did not end after the start-up failure"
wait "$app_pid" && code=0 || code=$?
app_pid=""
[ "$code" -ne 0 ] || fail "a failed start-up ended with code 0"
if visible_window "Orvane Viewer" >/dev/null 2>&1; then
    fail "the main window appeared despite the failure"
fi

echo "main_window.sh: passed (screenshots in $out)"
