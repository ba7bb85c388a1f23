#!/bin/sh
# Runs a test program beside an X server of its own (Xvfb, with the OpenGL of Mesa), whose
# display it names in VT_TEST_DISPLAY. Exits 77, a skipped test, where Xvfb is not installed.
# VT_XVFB_SCREEN sets the screen (1280x1024x24 unless given).
command -v Xvfb >/dev/null 2>&1 || { echo "Xvfb is not installed: skipped"; exit 77; }
folder="$(mktemp -d)"
Xvfb -displayfd 3 -screen 0 "${VT_XVFB_SCREEN:-1280x1024x24}" -nolisten tcp 3>"$folder/display" \
  2>"$folder/xvfb.log" &
server=$!
trap 'kill "$server" 2>/dev/null; wait "$server" 2>/dev/null; rm -rf "$folder"' EXIT
# The server writes its display number once it accepts connections.
for _ in $(seq 100); do
  [ -s "$folder/display" ] && break
  sleep 0.1
done
if [ ! -s "$folder/display" ]; then
  echo "Xvfb did not start:"
  cat "$folder/xvfb.log"
  exit 1
fi
VT_TEST_DISPLAY=":$(cat "$folder/display")" "$@"
