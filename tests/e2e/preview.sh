#!/usr/bin/env bash
# End to end under Xvfb: a series of 12 pictures is previewed as a rotating slideshow.
# The program starts in a folder of 12 pictures; Ctrl+A and Insert put them all into the
# series, Alt+P asks the orientation (the middle choice is clicked), the preview window
# opens and plays: the picture shown changes over time, so screenshots a moment apart
# differ. The last screenshot is kept as preview.png in $ORVANE_E2E_OUT (default
# build/e2e). Escape closes the unchanged preview without a question.
# Usage: tests/e2e/preview.sh path/to/orvane-viewer
set -euo pipefail
e2e_name=preview
source "$(dirname "$0")/e2e_lib.bash"
e2e_setup "${1:-}"

make_pictures "$work/pictures" 12 turn
write_ini "$work/orvane-viewer.ini" "$work/pictures" </dev/null

open_main_window "$work/orvane-viewer.ini"
preview=$(preview_all "$main") || exit 1
# The series is loaded before the window shows; once it has drawn its first picture,
# playing changes the picture shown.
wait_for 100 window_painted "$preview" || fail "the preview showed nothing"
remember_look "$preview"
wait_for 100 looks_changed "$preview" 1000 || fail "the preview did not play"
changed=$(pixels_differing "$work/remembered.png" "$work/look-now.png")
cp "$work/look-now.png" "$out/preview.png"

# The unchanged preview closes without a question.
keys_to "$preview" Escape
wait_for 50 window_gone "Preview your picture series as a 3D image." ||
    fail "Escape did not close the unchanged preview"
stop_program
echo "$e2e_name: passed: 12 pictures previewed, the series played ($changed pixels changed); screenshot $out/preview.png"
