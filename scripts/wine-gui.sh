#!/usr/bin/env bash
# Sourced by the tests that drive Windows programs' windows under Wine with real input:
#   source scripts/wine-gui.sh; gui_start FOLDER
# gives a Wine prefix of FOLDER's own (made once, kept for the next run), a virtual display with
# a window manager, and the functions below. Everything the programs write stays in FOLDER:
# the prefix's Desktop and Documents are plain folders, not links to the home folder, and Wine
# makes no menu entries or file associations on the host. gui_stop (also on exit) ends what
# gui_start started.

gui_fail() {
    echo "FAIL: $*" >&2
    gui_shot "failure-$(date +%H%M%S)" || true
    exit 1
}

# The prefix: the dialog's font (新細明體 and its kin) drawn with the installed Ming face, and a
# crash that ends the program instead of waiting for a debugger nobody attends.
gui_prefix() {
    export WINEPREFIX="$GUI_DIR/prefix" WINEARCH=win64 WINEDEBUG=-all LC_ALL=C.UTF-8
    export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
    [ -f "$WINEPREFIX/.velmora-ready" ] && return 0
    rm -rf "$WINEPREFIX"
    wineboot --init >/dev/null 2>&1 || true
    wineserver --wait || true
    [ -f "$WINEPREFIX/system.reg" ] || gui_fail "Wine could not create $WINEPREFIX"
    local face="AR PL UMing TW" key='HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\AeDebug'
    # reg import reads UTF-16 with its byte-order mark; anything else in the ANSI code page.
    {
        printf '\xef\xbb\xbfWindows Registry Editor Version 5.00\r\n\r\n'
        printf '[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]\r\n'
        for font in 新細明體 PMingLiU 細明體 MingLiU; do printf '"%s"="%s"\r\n' "$font" "$face"; done
        printf '\r\n[%s]\r\n"Auto"="0"\r\n' "$key"
        printf '\r\n[%s]\r\n"Auto"="0"\r\n' "${key/Software/Software\\Wow6432Node}"
    } | iconv -f UTF-8 -t UTF-16LE >"$GUI_DIR/prefix.reg"
    wine reg import "$(winepath -w "$GUI_DIR/prefix.reg")" >/dev/null 2>&1 || gui_fail "reg import"
    local link
    for link in "$WINEPREFIX"/drive_c/users/*/*; do
        [ -L "$link" ] && rm "$link" && mkdir "$link"
    done
    wineserver --wait || true
    touch "$WINEPREFIX/.velmora-ready"
}

# A display of its own, numbered by Xvfb itself (other runs may hold any number), with openbox:
# without a window manager Wine's windows take twice as long to settle.
gui_display() {
    rm -f "$GUI_DIR/display"
    Xvfb -displayfd 3 -screen 0 1280x900x24 -nolisten tcp 3>"$GUI_DIR/display" >"$GUI_DIR/xvfb.log" 2>&1 &
    GUI_PIDS+=($!)
    gui_until 10 grep -q . "$GUI_DIR/display" || gui_fail "Xvfb did not start"
    DISPLAY=":$(cat "$GUI_DIR/display")"
    export DISPLAY
    openbox --sm-disable >"$GUI_DIR/openbox.log" 2>&1 &
    GUI_PIDS+=($!)
    gui_until 10 gui_has_wm || gui_fail "openbox did not start on $DISPLAY"
}

gui_has_wm() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; }

# Runs the command every 50 ms until it succeeds or SECONDS seconds have passed.
gui_until() {
    local seconds="$1" tries
    shift
    for ((tries = seconds * 20; tries > 0; tries--)); do
        "$@" >/dev/null 2>&1 && return 0
        sleep 0.05
    done
    return 1
}

# Prints the id of the visible window whose title matches the regular expression, waiting up
# to 20 s (or $2) for it: polled, since `xdotool search --sync` misses windows mapped early.
gui_window() {
    local id tries
    for ((tries = ${2:-20} * 20; tries > 0; tries--)); do
        id="$(xdotool search --onlyvisible --name "$1" 2>/dev/null | tail -n 1)"
        [ -n "$id" ] && { echo "$id"; return 0; }
        sleep 0.05
    done
    gui_fail "no window titled /$1/ appeared"
}

gui_gone() {
    gui_until "${2:-20}" bash -c "! xdotool search --onlyvisible --name '$1'" || gui_fail "window /$1/ stayed"
}

# Keys to the window (activated first, as a user's typing goes to the active window).
gui_keys() {
    local id="$1"
    shift
    xdotool windowactivate --sync "$id" 2>/dev/null || true
    xdotool key --clearmodifiers --delay 30 "$@"
}

# Text into the focused control through the clipboard: xdotool types only what the keyboard
# map has, and no Chinese.
gui_paste() {
    printf '%s' "$1" | xclip -quiet -selection clipboard >/dev/null 2>&1 &
    local owner=$!
    # Until it is ours: the last owner may still answer with the text before.
    gui_until 5 gui_clipboard_is "$1" || gui_fail "the clipboard does not hold '$1'"
    xdotool key --clearmodifiers ctrl+a ctrl+v
    sleep 0.2
    kill "$owner" 2>/dev/null || true
    wait "$owner" 2>/dev/null || true
}

gui_clipboard_is() { [ "$(xclip -o -selection clipboard 2>/dev/null)" = "$1" ]; }

# A click at X,Y inside the window, with optional modifiers (shift, ctrl).
gui_click() {
    local id="$1" x="$2" y="$3" mod="${4:-}"
    xdotool mousemove --window "$id" "$x" "$y"
    [ -n "$mod" ] && xdotool keydown "$mod"
    xdotool click 1
    [ -n "$mod" ] && xdotool keyup "$mod"
    sleep 0.1
}

# The Windows name of a host path (Wine's drive Z: is the host's root).
gui_winpath() { local path="${1//\//\\}"; printf 'Z:%s' "$path"; }

gui_size() { xdotool getwindowgeometry "$1" | sed -n 's/.*Geometry: \([0-9]*\)x\([0-9]*\)/\1 \2/p'; }

# Answers Wine's Open, Save or folder window titled like the regular expression with PATH. Its
# folder window starts with the focus in the folder view: "folder" clicks the name box first.
gui_choose() {
    local id w h
    id="$(gui_window "$1")"
    read -r w h < <(gui_size "$id")
    xdotool windowactivate --sync "$id"
    [ "${3:-}" = folder ] && gui_click "$id" $((w - 200)) $((h - 44))
    gui_paste "$(gui_winpath "$2")"
    xdotool key Return
    gui_gone "$1"
}

# The whole screen into the build folder's screenshots, for a person to look at.
gui_shot() {
    [ -n "${DISPLAY:-}" ] && [ -n "${GUI_SHOTS:-}" ] || return 0
    mkdir -p "$GUI_SHOTS"
    import -window root "$GUI_SHOTS/$1.png" 2>/dev/null
}

# The colour of the window's pixel at X,Y, as six hex digits.
gui_pixel() {
    import -window "$1" -crop "1x1+$2+$3" -depth 8 txt:- 2>/dev/null | sed -n 's/.*#\([0-9A-Fa-f]\{6\}\).*/\1/p' | tail -n 1
}

gui_stop() {
    wineserver --kill >/dev/null 2>&1 || true
    local pid
    for pid in "${GUI_PIDS[@]}"; do kill "$pid" 2>/dev/null || true; done
    for pid in "${GUI_PIDS[@]}"; do wait "$pid" 2>/dev/null || true; done
    GUI_PIDS=()
}

gui_start() {
    GUI_DIR="$1"
    GUI_SHOTS="${GUI_SHOTS:-$GUI_DIR/screenshots}"
    GUI_PIDS=()
    mkdir -p "$GUI_DIR"
    local tool
    for tool in wine Xvfb openbox xdotool xclip xprop import iconv; do
        command -v "$tool" >/dev/null || { echo "wine-gui: $tool not found; scripts/setup.sh --tests installs it" >&2; exit 1; }
    done
    trap gui_stop EXIT
    gui_display
    gui_prefix
}
