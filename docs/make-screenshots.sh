#!/usr/bin/env bash
# Remakes the pictures of the language chooser, of the install question, of
# the progress window and of the final question (English and Arabic), and of
# the progress window at 192 DPI, from the real setup program under Wine, on
# benches of their own. Run by hand from the source tree after a build:
#   docs/make-screenshots.sh [BUILD_DIR]        (default: build)
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
build=$(cd "${1:-$root/build}" && pwd)
win=$build/windows
bench=$root/tests/wine/bench
dir=$(mktemp -d /tmp/quro-screenshots.XXXXXX)
driver=$win/tests/driver/quro-driver.exe
stub=$win/quro-setup-stub.exe

"$bench" start "$dir" "$win/tests/standin/cabinet.dll" >/dev/null
trap '"$bench" run "$dir" "$driver" end quro-setup-stub.exe >/dev/null 2>&1; "$bench" run "$dir" "$driver" end Quro-Setup.exe >/dev/null 2>&1; "$bench" stop "$dir" >/dev/null; rm -rf "$dir"' EXIT
. "$dir/env"
export DISPLAY

drive() { "$bench" run "$dir" "$driver" "$@"; }

# shot CAPTION FILE: the window as the driver reports its rectangle.
shot() {
  local crop
  crop=$(drive describe "$1" 30000 | sed -n 's/^crop=//p')
  [ -n "$crop" ] || { echo "no window '$1'" >&2; exit 1; }
  sleep 0.5  # let it finish drawing
  /usr/bin/import -display "$DISPLAY" -window root "$dir/screen.png"
  /usr/bin/convert "$dir/screen.png" -crop "$crop" +repage "$here/$2"
  echo "wrote docs/$2 ($crop)"
}

# wait_box CAPTION: until a dialog of that caption is up (the progress
# window before it shares the caption).
wait_box() { drive dialog "$1" 60000 >/dev/null || { echo "no message box '$1'" >&2; exit 1; }; }

drive start --unelevated "$stub" >/dev/null
shot "Quro Host Setup" language-chooser.png
drive press "Quro Host Setup" 100 >/dev/null
sleep 0.5
shot "Quro Host Setup" install-question-en.png
drive press "Quro Host Setup" 7 >/dev/null

drive start --unelevated "$stub" /install ar >/dev/null
shot "إعداد Quro Host" install-question-ar.png
drive press "إعداد Quro Host" 7 >/dev/null

# Wine gives every process administrator rights: these install at once. The
# first is a first installation, the second an update.
drive start "$win/Quro-Setup.exe" /install en >/dev/null
wait_box "Quro Host Setup"
shot "Quro Host Setup" final-question-en.png
drive press "Quro Host Setup" 7 >/dev/null
drive start "$win/Quro-Setup.exe" /install ar >/dev/null
wait_box "إعداد Quro Host"
shot "إعداد Quro Host" final-question-ar.png
drive press "إعداد Quro Host" 7 >/dev/null

# The progress window, held up by the test build that pauses as it writes the
# uninstaller (every file written, the bar full), carrying the sample application.
paused=$dir/paused-setup.exe
"$build/tools/quro-pack" setup "$win/sample-app" --store --stub "$win/tests/windows/install/quro-setup-paused-stub.exe" \
  -o "$paused" >/dev/null
drive_reg() { "$bench" run "$dir" reg "$@" >/dev/null; }
progress_shot() {  # CAPTION LANGUAGE FILE
  QURO_PAUSE_AT=copy drive start "$paused" /install "$2" >/dev/null
  shot "$1" "$3"
  drive end paused-setup.exe >/dev/null
}
progress_shot "Quro Host Setup" en progress-window-en.png
progress_shot "إعداد Quro Host" ar progress-window-ar.png

# At 192 DPI (200 %): Wine takes the DPI from LogPixels when its server starts.
drive_reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 192 /f
WINEPREFIX=$WINEPREFIX "${WINESERVER:-/usr/lib/wine/wineserver}" -k
progress_shot "Quro Host Setup" en progress-window-192dpi.png
