# Sourced: make_realtree TREE SOURCE_DLLS puts a few hundred of Wine's own
# Windows DLLs, about 100 MB, into TREE in nested folders, and sets count and
# total. The package test and bench/pump-gaps use the same tree.
make_realtree() {
  local tree=$1 source_dlls=$2 target_bytes=$((100 * 1024 * 1024)) big line
  total=0
  count=0
  # Spread the DLLs over folders up to four levels deep: one above 16 MiB (two
  # write calls), then the smallest ones, until about 100 MB are reached, which
  # takes a few hundred files and more than one 64 MiB chunk.
  place() {
    local dir
    case $((count % 5)) in
      0) dir=$tree ;;
      1) dir=$tree/lib ;;
      2) dir=$tree/lib/x64/$((count % 7)) ;;
      3) dir="$tree/plugins/group $((count % 3))/deep/er" ;;
      4) dir=$tree/share/$((count % 11)) ;;
    esac
    mkdir -p "$dir"
    cp "$2" "$dir/"
    total=$((total + $1))
    count=$((count + 1))
  }
  big=$(find "$source_dlls" -maxdepth 1 -name '*.dll' -type f -size +17M -size -40M -printf '%s %p\n' | sort -n | head -1)
  [ -z "$big" ] || place "${big%% *}" "${big#* }"
  while IFS= read -r line; do
    [ "$line" != "$big" ] || continue
    [ $((total + ${line%% *})) -le $target_bytes ] || break
    place "${line%% *}" "${line#* }"
  done < <(find "$source_dlls" -maxdepth 1 -name '*.dll' -type f -printf '%s %p\n' | sort -n)
  # Some empty files and a file with a space and non-ASCII letters in its name.
  mkdir -p "$tree/lib" "$tree/share/0" "$tree/plugins"
  : >"$tree/lib/empty.cfg"
  : >"$tree/share/0/also empty"
  printf 'fichier\n' >"$tree/plugins/"$'d\xc3\xa9j\xc3\xa0 vu.txt'
}
