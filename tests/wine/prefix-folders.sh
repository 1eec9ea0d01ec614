# Sourced by the host-side test scripts: drive_c and local_dir, the bench
# prefix's C: drive and the user's local application data folder as seen
# from the build host. Needs QURO_WINE_BENCH_DIR.
drive_c=$QURO_WINE_BENCH_DIR/prefix/drive_c
# Wine keeps the user's profile under drive_c/users/<login>.
local_dir=
for d in "$drive_c"/users/*/AppData/Local; do
  case $d in */users/Public/*) continue ;; esac
  local_dir=$d
done
[ -n "$local_dir" ] || { echo "no local application data folder in the prefix" >&2; exit 1; }
