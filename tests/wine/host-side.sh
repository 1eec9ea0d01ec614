# Sourced by the host-side test scripts and benches: drive_c and local_dir,
# the bench prefix's C: drive and the user's local application data folder
# as seen from the build host; winpath, a host path as the Windows programs
# see it; bench, a Windows program run in the prefix; fingerprint, every file
# below a folder with its checksum. Needs QURO_WINE_BENCH_DIR and, for bench,
# QURO_BENCH.
drive_c=$QURO_WINE_BENCH_DIR/prefix/drive_c
# Wine keeps the user's profile under drive_c/users/<login>.
local_dir=
for d in "$drive_c"/users/*/AppData/Local; do
  case $d in */users/Public/*) continue ;; esac
  local_dir=$d
done
[ -n "$local_dir" ] || { echo "no local application data folder in the prefix" >&2; exit 1; }
# Wine shows the build host's / as Z:.
winpath() { printf 'Z:%s' "$1" | tr / '\\'; }
bench() { "$QURO_BENCH" run "$QURO_WINE_BENCH_DIR" "$@"; }
fingerprint() { (cd "$1" && find . -type f -exec md5sum {} + | sort); }
