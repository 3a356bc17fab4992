#!/usr/bin/env bash
# The main window on a real display under a window manager: it opens centred on the screen by
# its outer frame, title bar included. Skips (77) where Xvfb, openbox or xdotool is missing.
set -euo pipefail
program="$1"
for tool in Xvfb openbox xdotool xprop xwininfo; do
    command -v "$tool" >/dev/null || { echo "no $tool: skipped"; exit 77; }
done

work="$(mktemp -d)"
pids=()
cleanup() {
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(head -n1 "$work/display")"
openbox >"$work/openbox.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q window && break; sleep 0.1; done

XDG_DATA_HOME="$work/data" XDG_CACHE_HOME="$work/cache" QT_QPA_PLATFORM=xcb "$program" &
pids+=($!)
# No pipe here: a reader that stops early would fail the search under pipefail.
windows="$(timeout 20 xdotool search --sync --onlyvisible --name '^Quaymark!$' || true)"
window="${windows%%$'\n'*}"
if [ -z "$window" ]; then
    echo "0 passed, 1 failed: the main window never showed"
    exit 1
fi

# Once the window manager has framed the window, the program puts it right: wait for it.
for _ in $(seq 100); do
    read -r left right top bottom < <(xprop -id "$window" _NET_FRAME_EXTENTS |
        sed -n 's/.*= \([0-9]*\), \([0-9]*\), \([0-9]*\), \([0-9]*\)/\1 \2 \3 \4/p') || true
    info="$(xwininfo -id "$window" 2>/dev/null || true)"
    X=$(sed -n 's/.*Absolute upper-left X: *//p' <<<"$info")
    Y=$(sed -n 's/.*Absolute upper-left Y: *//p' <<<"$info")
    WIDTH=$(sed -n 's/.*Width: *//p' <<<"$info")
    HEIGHT=$(sed -n 's/.*Height: *//p' <<<"$info")
    if [ -z "$X" ] || [ -z "$Y" ] || [ -z "${left:-}" ]; then
        sleep 0.1
        continue
    fi
    frame_x=$((X - left)); frame_y=$((Y - top))
    frame_w=$((WIDTH + left + right)); frame_h=$((HEIGHT + top + bottom))
    centre_x=$((frame_x + frame_w / 2)); centre_y=$((frame_y + frame_h / 2))
    if [ "${top:-0}" -gt 0 ] && [ $((centre_x - 640)) -ge -1 ] && [ $((centre_x - 640)) -le 1 ] &&
       [ $((centre_y - 512)) -ge -1 ] && [ $((centre_y - 512)) -le 1 ]; then
        echo "1 passed, 0 failed: frame ${frame_w}x${frame_h} at ${frame_x},${frame_y}, centred"
        exit 0
    fi
    sleep 0.1
done
echo "0 passed, 1 failed: frame ${frame_w:-?}x${frame_h:-?} at ${frame_x:-?},${frame_y:-?}" \
     "(extents ${left:-?} ${right:-?} ${top:-?} ${bottom:-?}); centre ${centre_x:-?},${centre_y:-?}" \
     "is not the screen's 640,512"
exit 1
