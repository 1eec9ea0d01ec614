#!/bin/sh
# Plants links to folders outside the hosted application's data folders,
# inside the Wine prefix, then lets the removal test remove the data through
# the real setup program and check that nothing behind the links was touched.
#   plant-links.sh TEST.exe SETUP.exe [TEST-ARGS...]   (env: QURO_WINE_BENCH_DIR, QURO_BENCH)
set -eu
test_exe=$1
setup=$2
shift 2
. "$(dirname "$0")/../../wine/host-side.sh"

outside=$drive_c/quro-outside
secure=$local_dir/DraloSecure
transfer=$local_dir/DraloTransferSecure
probe=$drive_c/quro-probe-link
cleanup() {
  rm -rf "$outside" "$probe"
  # rm never follows a link it removes.
  rm -rf "$secure" "$transfer"
}
trap cleanup EXIT
if [ -e "$secure" ] || [ -e "$transfer" ]; then
  echo "data folders exist already; refusing to touch them" >&2
  exit 1
fi

mkdir -p "$outside/inner" "$outside/whole/sub" "$secure"
echo keep > "$outside/inner/keep.txt"
echo keep > "$outside/whole/sub/keep.txt"
# A link inside a data folder, and a data folder that is itself a link.
ln -s "$outside/inner" "$secure/linked"
ln -s "$outside/whole" "$transfer"
# One more, for the test to learn whether this platform can delete a link to
# a folder that is not empty at all.
mkdir -p "$outside/probe-target"
echo keep > "$outside/probe-target/keep.txt"
ln -s "$outside/probe-target" "$probe"

status=0
bench "$test_exe" "--setup=$(winpath "$setup")" \
  '--outside=C:\quro-outside' '--probe-link=C:\quro-probe-link' '--gtest_filter=*DataFolderLinks*' "$@" || status=$?
# Checked here too, from the side that cannot be fooled by a link.
[ -f "$outside/inner/keep.txt" ] && [ -f "$outside/whole/sub/keep.txt" ] && [ -f "$outside/probe-target/keep.txt" ] || {
  echo "a file behind a link was deleted" >&2
  exit 1
}
exit $status
