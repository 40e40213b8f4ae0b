#!/usr/bin/env bash
# The whole main road under Xvfb, by keyboard: the program starts in a folder of four
# pictures; Ctrl+A and Insert put them into the series, Ctrl+Up turns the first one round
# to the end, Alt+P previews the series (middle orientation) and Escape closes the
# preview, Alt+S and Enter save it as package into an empty folder. The folder must then
# hold exactly img001.jpg .. img004.jpg, byte for byte the pictures in series order
# (02, 03, 04, 01), in the one time-stamped folder the save made.
# Usage: tests/e2e/main_road.sh path/to/orvane-viewer
set -euo pipefail
e2e_name=main_road
source "$(dirname "$0")/e2e_lib.bash"
e2e_setup "${1:-}"

make_pictures "$work/pictures" 4 pic
mkdir -p "$work/package"
write_ini "$work/orvane-viewer.ini" "$work/pictures" <<INI
[Saving]
Destination=$work/package/
Prefix=img
Sufix=
Digits=3
From=1
INI

open_main_window "$work/orvane-viewer.ini"

# ---------------------------------------------------------------- add, reorder, preview
preview=$(preview_all "$main") || exit 1
wait_for 100 window_painted "$preview" || fail "the preview showed nothing"
shot "$preview" "$out/main_road_preview.png"
keys_to "$preview" Escape
wait_for 50 window_gone "Preview your picture series as a 3D image." ||
    fail "Escape did not close the unchanged preview"
# The series list has the keyboard (the folder's pictures are all in the series) with
# its first picture selected: Ctrl+Up sends it to the end. The window is back to its
# own events once it has settled.
wait_settled "$main" "the main window after the preview"
remember_look "$main"
keys_to "$main" ctrl+Up
wait_for 50 looks_changed "$main" 20 || fail "Ctrl+Up did not move the picture"
wait_settled "$main" "the series after Ctrl+Up"
shot "$main" "$out/main_road_series.png"

# ---------------------------------------------------------------- save
keys_to "$main" alt+s
saving=$(window_id "Save selected pictures as package" 30) || fail "Alt+S did not open the saving dialog"
[ -n "$saving" ] || fail "Alt+S did not open the saving dialog"
keys_to "$saving" Return
wait_for 100 window_gone "Save selected pictures as package" || fail "the saving dialog did not accept Enter"

# Written once the progress box has gone with four files in place.
saved() {
    [ "$(find "$work/package" -type f | wc -l)" -ge 4 ] && window_gone ProgressForm
}
wait_for 100 saved || fail "the package was not written: $(find "$work/package" | tr '\n' ' ')"
folders=$(find "$work/package" -type f -printf '%h\n' | sort -u)
[ "$(echo "$folders" | wc -l)" -eq 1 ] || fail "the package is spread over several folders: $folders"
names=$(find "$work/package" -type f -printf '%f\n' | sort | tr '\n' ' ')
[ "$names" = "img001.jpg img002.jpg img003.jpg img004.jpg " ] ||
    fail "the package holds $names instead of img001.jpg .. img004.jpg"
order=(pic02 pic03 pic04 pic01)
for i in 0 1 2 3; do
    cmp -s "$folders/$(printf 'img%03d.jpg' $((i + 1)))" "$work/pictures/${order[$i]}.jpg" ||
        fail "$(printf 'img%03d.jpg' $((i + 1))) is not a copy of ${order[$i]}.jpg"
done
shot "$main" "$out/main_road.png"

stop_program
echo "$e2e_name: passed: package ${folders#"$work/package/"} holds $names in series order"
