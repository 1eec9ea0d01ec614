#!/usr/bin/env bash
# Plants a tree holding a symbolic link to a folder outside it in the bench
# prefix (Wine shows it as a directory reparse point), lets the Windows test
# program remove the tree, and checks from the host that the folder the link
# pointed to is untouched.
#   link-test.sh UNIT_TEST_EXE
set -eu
. "$(dirname "$0")/../../wine/host-side.sh"
exe=$1
root=$drive_c/quro-link-test
rm -rf "$root"
mkdir -p "$root/tree/sub" "$root/outside/deep"
echo a >"$root/tree/a.txt"
echo b >"$root/tree/sub/b.txt"
echo keep >"$root/outside/keep.txt"
echo deep >"$root/outside/deep/x.txt"
ln -s "$root/outside" "$root/tree/link"
trap 'rm -rf "$root"' EXIT

status=0
bench "$exe" --gtest_filter='LinkedFolder.*' '--link-fixture=C:\quro-link-test' || status=$?
# Windows deletes the link itself; Wine 8 cannot, and must then leave it be.
if [ -e "$root/tree/link" ] && [ "$(readlink "$root/tree/link")" != "$root/outside" ]; then
  echo "the link was changed"; status=1
fi
if [ "$(cat "$root/outside/keep.txt" 2>/dev/null)" != keep ] || [ "$(cat "$root/outside/deep/x.txt" 2>/dev/null)" != deep ]; then
  echo "the folder behind the link was touched"; status=1
fi
exit $status
