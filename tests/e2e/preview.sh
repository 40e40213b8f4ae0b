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
sleep 1.5 # loading ends, playing starts

# The picture number changes: among several shots a moment apart, some differ.
shot "$preview" "$work/first.png"
changed=0
for ((i = 0; i < 6 && changed <= 1000; i++)); do
    sleep 0.7
    shot "$preview" "$out/preview.png"
    changed=$(compare -metric AE "$work/first.png" "$out/preview.png" null: 2>&1 || true)
    changed=${changed%% *}
    changed=${changed%.*}
    [[ "$changed" =~ ^[0-9]+$ ]] || changed=0
done
[ "$changed" -gt 1000 ] || fail "the preview did not play (only $changed pixels changed)"

# The unchanged preview closes without a question.
keys_to "$preview" Escape
wait_for 50 window_gone "Preview your picture series as a 3D image." ||
    fail "Escape did not close the unchanged preview"
stop_program
echo "$e2e_name: passed: 12 pictures previewed, the series played ($changed pixels changed); screenshot $out/preview.png"
