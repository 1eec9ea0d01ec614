#!/usr/bin/env bash
# Plants, from the build host, what a program of the same user could put in
# place of the language file or its folder, and lets the unit test read and
# write the language file through the setup program's code each time:
#   a link to a folder outside (DraloHostTrial itself), a second name of a
#   file outside (hard link), and a pipe (which Windows' loader would stall on).
#   plant-language-links.sh UI-UNIT-TESTS.exe   (env: QURO_WINE_BENCH_DIR, QURO_BENCH)
# Wine cannot show the last kind, a symbolic link to a file: it follows one
# without any sign, so that case is Windows' alone.
set -u
tests=$1
. "$(dirname "$0")/../../wine/host-side.sh"
folder=$local_dir/DraloHostTrial
saved=$folder.saved-by-link-test
outside=$drive_c/quro-language-outside
cleanup() {
  rm -rf "$outside" "$folder"  # rm removes a link, never what it points to
  [ -e "$saved" ] || [ -L "$saved" ] && mv "$saved" "$folder"
}
trap cleanup EXIT
rm -rf "$saved"
{ [ -e "$folder" ] || [ -L "$folder" ]; } && mv "$folder" "$saved"

rc=0
for kind in folder-link hard-link pipe; do
  rm -rf "$outside" "$folder"
  mkdir -p "$outside"
  printf Ar > "$outside/language.txt"
  case $kind in
    folder-link) ln -s "$outside" "$folder" ;;
    hard-link) mkdir "$folder" && ln "$outside/language.txt" "$folder/language.txt" ;;
    pipe) mkdir "$folder" && mkfifo "$folder/language.txt" ;;
  esac
  echo "== $kind"
  bench "$tests" --gtest_filter='LanguageFileLinks.*' 2>/dev/null || rc=1
  # Checked from the side that no link can fool.
  [ "$(cat "$outside/language.txt")" = Ar ] || { echo "$kind: the file outside was changed" >&2; rc=1; }
  [ "$kind" != pipe ] || [ -p "$folder/language.txt" ] || { echo "pipe: replaced" >&2; rc=1; }
done
exit $rc
