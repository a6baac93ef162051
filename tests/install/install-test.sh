#!/usr/bin/env bash
# Installs the build tree into a temporary prefix and uses what it installed as a user would:
# the program found on the PATH, its manual page found by `man` and rendered without a warning,
# naming every subcommand the program lists, and the installed example run in a fresh folder,
# writing the same bytes as the program of the build tree.
#
#   install-test.sh CMAKE BUILD_DIR BUILT_LIFTSIM
#
# Exits 77 (skipped) when man or groff is missing, unless CI is set: there it fails.
set -euo pipefail
cmake=$1 build=$2 built=$3
source_dir=$(cd "$(dirname "$0")/../.." && pwd)

for tool in man groff; do
  if ! command -v "$tool" >/dev/null; then
    if [ -n "${CI:-}" ]; then
      echo "install test: $tool is missing (install man-db and groff-base)"
      exit 1
    fi
    echo "install test skipped: $tool is missing (install man-db and groff-base)"
    exit 77
  fi
done

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
prefix=$tmp/prefix
fail() {
  echo "install test: $*"
  exit 1
}

"$cmake" --install "$build" --prefix "$prefix" >"$tmp/install.log" || {
  cat "$tmp/install.log"
  fail "cmake --install failed"
}
export PATH="$prefix/bin:$PATH"
unset MANPATH
[ "$(command -v liftsim)" = "$prefix/bin/liftsim" ] || fail "liftsim is not on the PATH"
[ "$(liftsim --version)" = "$("$built" --version)" ] || fail "liftsim --version: $(liftsim --version)"

# man finds the page through the PATH (PREFIX/bin -> PREFIX/share/man).
page=$(man -w liftsim) || fail "man -w liftsim finds no page"
[ "$page" = "$prefix/share/man/man1/liftsim.1" ] || fail "man -w liftsim gives $page"
warnings=$(groff -man -Tutf8 -ww -z "$page" 2>&1)
[ -z "$warnings" ] || fail "groff warns about the page: $warnings"
text=$(MANWIDTH=80 man -l "$page" 2>&1) || fail "man -l cannot show the page"
subcommands=$(liftsim --help | sed -n '/^Subcommands:/,/^$/p' | awk 'NR > 1 && NF { print $1 }')
[ -n "$subcommands" ] || fail "liftsim --help lists no subcommand"
for name in $subcommands; do
  grep -q "^   liftsim $name\$" <<<"$text" || fail "the page has no section for 'liftsim $name'"
  # every option of the subcommand's help, as written there
  for option in $(liftsim "$name" --help | sed -n 's/^  \(-[^ ]*\).*/\1/p' | tr ',' ' '); do
    grep -q -- "$option" <<<"$text" || fail "the page does not mention $option of '$name'"
  done
done

# The installed example, run as the README says, against the build tree's program.
example=$prefix/share/liftsim/examples/dani.dat
[ -f "$example" ] || fail "no example at $example"
[ -x "$prefix/share/liftsim/examples/slurm/sweep.sh" ] || fail "no Slurm batch script"
for scenario in "$source_dir"/examples/scenarios/*; do
  cmp -s "$scenario" "$prefix/share/liftsim/examples/scenarios/${scenario##*/}" ||
    fail "scenario file ${scenario##*/} not installed"
done
for who in installed built; do
  mkdir "$tmp/$who"
  cp "$example" "$tmp/$who/"
  program=liftsim
  [ "$who" = built ] && program=$built
  (cd "$tmp/$who" && "$program" >stdout.txt 2>stderr.txt; echo "status $?" >status.txt)
done
diff -r "$tmp/installed" "$tmp/built" >/dev/null || fail "the installed example's run differs"
[ "$(cat "$tmp/installed/status.txt")" = "status 0" ] || fail "the example's run failed"
[ "$(ls "$tmp/installed" | wc -l)" = 28 ] || fail "the example's run did not write its 24 files"
echo "installed into $prefix: liftsim --version, man liftsim and the example work"
