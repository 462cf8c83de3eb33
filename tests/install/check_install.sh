#!/bin/sh
# check_install.sh CMAKE BUILD-DIR VERSION MAKE-SAMPLE-DATA: installs the build into a
# temporary prefix, runs the installed programs, and checks each manual page with groff
# (no warnings), man (shown without complaint) and against the program's own usage text.
set -eu
cmake=$1 build=$2 version=$3 make_sample_data=$4
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

"$cmake" --install "$build" --prefix "$prefix" > /dev/null
[ -f "$prefix/share/doc/zk_mappers/README.md" ] || fail "README not installed"
for program in holvik garvik eskvik felvik calvik dunvik brevik; do
  page=$prefix/share/man/man1/$program.1
  [ "$("$prefix/bin/$program" --version)" = "$program $version" ] || fail "$program --version"
  warnings=$(groff -ww -z -man "$page" 2>&1) && [ -z "$warnings" ] || fail "$page: $warnings"
  shown=$(MANWIDTH=200 man -l "$page" 2> "$prefix/man.err") || fail "man -l $page"
  [ ! -s "$prefix/man.err" ] || fail "man -l $page: $(cat "$prefix/man.err")"
  # Every line of the usage text is in the page as printed (less man's indentation).
  "$prefix/bin/$program" --help | tail -n +2 > "$prefix/usage.txt" || true
  while IFS= read -r line; do
    printf '%s\n' "$shown" | grep -qF -- "$line" || fail "$program: usage line '$line' not in the page"
  done < "$prefix/usage.txt"
done

# An installed program draws from the sample data into a folder of its own.
"$make_sample_data" "$prefix/sample" > /dev/null
"$prefix/bin/holvik" --ega "$prefix/sample/pc/TILES.16" -o "$prefix/maps" "$prefix/sample/pc" > /dev/null
[ -f "$prefix/maps/zk.Britannia.bmp" ] && [ -f "$prefix/maps/zk.Underworld.bmp" ] || fail "installed holvik"
