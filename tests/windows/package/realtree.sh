#!/usr/bin/env bash
# A tree nobody here made: a few hundred of Wine's own Windows DLLs, about
# 100 MB in nested folders, packed as makers ship it (LZMS, in two chunks of
# up to 64 MiB), must come out of the setup program under Wine (the
# Compression API stand-in decoding LZMS) and out of quro-pack's unpack on
# the build host byte for byte as it went in.
#   realtree.sh STUB WORK_DIR
# Needs QURO_PACK, QURO_BENCH and QURO_WINE_BENCH_DIR (set by the test run).
set -eu
stub=$1
work=$2
source_dlls=${QURO_REALTREE_SOURCE:-/usr/lib/x86_64-linux-gnu/wine/x86_64-windows}

fail() { echo "FAIL: $*" >&2; exit 1; }
[ -f "$stub" ] || fail "no stub at $stub"
[ -d "$source_dlls" ] || fail "no Windows DLLs at $source_dlls"
: "${QURO_PACK:?}" "${QURO_BENCH:?}" "${QURO_WINE_BENCH_DIR:?}"
. "$(dirname "$0")/../../wine/host-side.sh"
rm -rf "$work"
tree=$work/tree
mkdir -p "$tree"

. "$(dirname "$0")/realtree-tree.sh"
make_realtree "$tree" "$source_dlls"
echo "tree: $count DLLs, $total bytes"
[ "$count" -ge 200 ] || fail "only $count DLLs found"


echo "--- setup program, LZMS, extracted under Wine"
"$QURO_PACK" setup "$tree" --stub "$stub" -o "$work/RealTree-Setup.exe" || fail "quro-pack setup: exit $?"
[ -f "$work/RealTree-Setup.exe" ] || fail "quro-pack setup wrote no $work/RealTree-Setup.exe"
chunks=$("$QURO_PACK" inspect "$work/RealTree-Setup.exe" | grep -c '^  chunk .* LZMS ') || true
[ "$chunks" -ge 2 ] || fail "the package holds $chunks LZMS chunks, not two or more"
out=$work/extracted
bench "$work/RealTree-Setup.exe" /verify || fail "/verify: exit $?"
bench "$work/RealTree-Setup.exe" /extract-to "$(winpath "$out")" \
  || fail "/extract-to: exit $?"
diff -r "$tree" "$out" >/dev/null || { diff -rq "$tree" "$out" | head -20; fail "extracted tree differs"; }
echo "identical after /extract-to ($chunks LZMS chunks, $(stat -c %s "$work/RealTree-Setup.exe") bytes)"

echo "--- the same setup, unpacked on the build host"
"$QURO_PACK" unpack "$work/RealTree-Setup.exe" "$work/unpacked" || fail "quro-pack unpack: exit $?"
diff -r "$tree" "$work/unpacked" >/dev/null || { diff -rq "$tree" "$work/unpacked" | head -20; fail "unpacked tree differs"; }
echo "identical after unpack"

rm -rf "$work"
echo "ok"
