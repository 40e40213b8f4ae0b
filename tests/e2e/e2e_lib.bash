#!/usr/bin/env bash
# Shared steps of the end-to-end scripts: a private Xvfb, the program started on its own
# INI file and temporary folder, waiting for windows by title, keys and screenshots, and
# clean-up of exactly the processes the script started. Sourced, not run.
#
# The caller sets e2e_name (used in messages and file names) and calls e2e_setup with
# the program's path. No window manager runs: windows sit where the program puts them,
# and keys go to the window under the pointer, so the pointer is moved onto a window
# before typing into it.

e2e_setup() {
    program=$(realpath "${1:?usage: $0 path/to/orvane-viewer}")
    repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
    out=$(realpath -m "${ORVANE_E2E_OUT:-$repo/build/e2e}")
    mkdir -p "$out"
    work=$(mktemp -d)
    mkdir -p "$work/tmp"
    xvfb_pid=""
    app_pid=""
    trap e2e_cleanup EXIT
}

e2e_cleanup() {
    if [ -n "$app_pid" ]; then
        kill "$app_pid" 2>/dev/null || true
        wait "$app_pid" 2>/dev/null || true
    fi
    if [ -n "$xvfb_pid" ]; then
        kill "$xvfb_pid" 2>/dev/null || true
        wait "$xvfb_pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}

fail() {
    echo "$e2e_name: FAILED: $*" >&2
    if [ -n "${DISPLAY:-}" ]; then
        import -display "$DISPLAY" -window root "$out/$e2e_name-failure.png" 2>/dev/null || true
    fi
    if [ -s "$work/program.log" ]; then
        echo "--- program output" >&2
        tail -n 20 "$work/program.log" >&2
    fi
    exit 1
}

# Waits up to $1 tenths of a second for the command after it to succeed.
wait_for() {
    local tenths=$1
    shift
    for ((i = 0; i < tenths; i++)); do
        if "$@" >/dev/null 2>&1; then return 0; fi
        sleep 0.1
    done
    return 1
}

# Xvfb picks a free display itself and writes its number once it listens: two runs on
# one machine can never take the same display, as they could when we probed for a free one.
start_display() {
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
    xvfb_pid=$!
    display_written() { grep -q '^[0-9][0-9]*$' "$work/display"; }
    wait_for 100 display_written || fail "no X display could be started"
    export DISPLAY=":$(head -n 1 "$work/display")"
    wait_for 50 xdpyinfo || fail "the X display $DISPLAY does not answer"
}

# Starts the program on the INI file $1 with a private temporary folder.
start_program() {
    QT_QPA_PLATFORM=xcb ORVANE_VIEWER_INI="$1" TMPDIR="$work/tmp" XDG_RUNTIME_DIR="$work/tmp" \
        "$program" >"$work/program.log" 2>&1 &
    app_pid=$!
}

# Prints the id of the visible window titled exactly $1, waiting up to $2 seconds.
window_id() {
    timeout "$2" xdotool search --sync --onlyvisible --name "^$1\$" 2>/dev/null | head -n1
}

window_gone() {
    ! xdotool search --onlyvisible --name "^$1\$" >/dev/null 2>&1
}

# Puts the pointer on window $1 (so that it has the keyboard) and types the keys after it.
keys_to() {
    local id=$1
    shift
    xdotool mousemove --sync --window "$id" 20 40
    xdotool key --delay 150 "$@"
}

shot() {  # window id, file
    import -display "$DISPLAY" -window "$1" "$2"
}

# Number of pixels of a screen area whose colour is close to the given one.
count_colour() {  # x y w h colour
    import -display "$DISPLAY" -window root -crop "$3x$4+$1+$2" +repage "$work/crop.png"
    convert "$work/crop.png" -fuzz 12% -fill black +opaque "$5" -fill white -opaque "$5" \
        -colorspace gray -format "%[fx:int(w*h*mean+0.5)]" info:
}

# Pixels that differ (beyond a little noise) between two images of one size.
pixels_differing() {  # image image
    local n
    n=$(compare -metric AE -fuzz 5% "$1" "$2" null: 2>&1 || true)
    n=${n%% *}
    n=${n%.*}
    [[ "$n" =~ ^[0-9]+$ ]] && echo "$n" || echo 0
}

# Whether window $1 has drawn something: a picture or a form shows many colours.
window_painted() {
    shot "$1" "$work/painted.png"
    [ "$(convert "$work/painted.png" -format %k info:)" -gt 50 ]
}

# Whether window $1 looks as it did at the last call: its painting has settled.
window_still() {
    shot "$1" "$work/still-now.png"
    local same=1
    if [ -e "$work/still-last.png" ] && [ "$(pixels_differing "$work/still-last.png" "$work/still-now.png")" -eq 0 ]; then
        same=0
    fi
    mv "$work/still-now.png" "$work/still-last.png"
    return $same
}

# Waits until window $1 has settled (up to 10 s); $2 says what for, in the failure message.
wait_settled() {
    rm -f "$work/still-last.png"
    wait_for 100 window_still "$1" || fail "window $1 kept changing: $2"
}

# remember_look saves how window $1 looks; looks_changed tells whether it changed since by
# more than $2 pixels (default 50).
remember_look() { shot "$1" "$work/remembered.png"; }
looks_changed() {
    shot "$1" "$work/look-now.png"
    [ "$(pixels_differing "$work/remembered.png" "$work/look-now.png")" -gt "${2:-50}" ]
}

program_ended() { ! kill -0 "$app_pid" 2>/dev/null; }

# Asks the program to close (it closes its window normally on SIGTERM) and checks its code.
stop_program() {
    kill -TERM "$app_pid"
    wait_for 100 program_ended || fail "the program did not end after being asked to close"
    local code=0
    wait "$app_pid" || code=$?
    app_pid=""
    [ "$code" -eq 0 ] || fail "the program ended with code $code"
}

# Writes $2 pictures 640 x 480, each with its own colour and number, named $3%02d.jpg,
# into folder $1.
make_pictures() {
    mkdir -p "$1"
    for i in $(seq 1 "$2"); do
        # DejaVu comes with the build packages; ImageMagick's default font may be missing.
        convert -size 640x480 "xc:hsl($((i * 30)),70%,55%)" -font DejaVu-Sans -fill white \
            -pointsize 220 -gravity center -annotate 0 "$i" -quality 90 \
            "$1/$(printf '%s%02d.jpg' "$3" "$i")"
    done
}

# Writes the INI file $1: a normal 800 x 600 main window at the top-left corner opened on
# folder $2, the preview as a normal 900 x 700 window playing at its fastest, then any
# further lines given on standard input.
write_ini() {
    {
        printf '[Window]\nState=NRM\nLeft=0\nTop=0\nWidth=800\nHeight=600\n\n'
        printf '[Viewer]\nSource=%s/\nPlaySpeed=1000\n\n' "$2"
        printf '[SlideShow]\nState=NRM\nWidth=900\nHeight=700\nLeft=40\nTop=40\n\n'
        cat
    } >"$1"
}

# Starts a display and the program on the INI file $1, then sets main to the id of the
# main window once it has scanned its start folder.
open_main_window() {
    start_display
    start_program "$1"
    main=$(main_window) || exit 1
    # The tree's selection delay passes, then the folder is scanned: its path shows (in
    # green) in the folder field at the top of the window.
    folder_scanned() { [ "$(count_colour 100 8 300 16 '#008000')" -gt 30 ]; }
    wait_for 100 folder_scanned || fail "the start folder was not scanned"
}

# The main window opened on its start folder; prints its id.
main_window() {
    local id
    id=$(window_id "Orvane Viewer" 60) || fail "the main window did not open"
    [ -n "$id" ] || fail "the main window did not open"
    echo "$id"
}

# Ctrl+A selects the folder's pictures, Insert adds them, Alt+P opens the preview: the
# orientation question is answered with the middle choice ("Original orientation").
# Prints the preview window's id.
preview_all() {
    local main=$1 orient="" try
    keys_to "$main" ctrl+a Insert
    # Alt+P does nothing while Add still runs: it is pressed again until the question
    # comes (once the question is up, the window is busy and a late press does nothing).
    for ((try = 0; try < 20; try++)); do
        keys_to "$main" alt+p
        orient=$(window_id "Select orientation" 3) || true
        [ -z "$orient" ] || break
    done
    [ -n "$orient" ] || fail "the orientation question did not come"
    # The middle button sits at 164..324 x 32..192 of the dialog.
    xdotool mousemove --sync --window "$orient" 244 112 click 1
    preview=$(window_id "Preview your picture series as a 3D image." 60) ||
        fail "the preview window did not open"
    [ -n "$preview" ] || fail "the preview window did not open"
    echo "$preview"
}
