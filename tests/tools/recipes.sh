#!/usr/bin/env bash
# The README's GNU parallel recipe, run as it stands: its `parallel` and `merge` lines are taken
# from the README, run in a folder holding the example's dani.dat with the built liftsim first on
# the PATH, and the merged file must be the unsharded sweep byte for byte.
#   recipes.sh LIFTSIM README EXAMPLE_DANI_DAT
set -euo pipefail
exe=$1 readme=$2 example=$3
fail() { echo "recipes: $*" >&2; exit 1; }
if ! command -v parallel >/dev/null; then
  [ -n "${CI:-}" ] && fail "GNU parallel is not installed; CI must have it"
  echo "recipe test skipped: GNU parallel is not installed"
  exit 77
fi

# The indented lines from the one starting "parallel liftsim" to the merge after it, with their
# line continuations.
recipe=$(awk '/^    parallel liftsim /{on=1} on{sub(/^    /, ""); print} on && /^liftsim merge /{exit}' "$readme")
[ -n "$recipe" ] || fail "README.md has no 'parallel liftsim' recipe"
grep -q '^liftsim merge ' <<<"$recipe" || fail "the README's parallel recipe has no merge line"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin" "$work/run"
ln -s "$(realpath "$exe")" "$work/bin/liftsim"
cp "$example" "$work/run/dani.dat"
mkdir -p "$work/home/.parallel" && touch "$work/home/.parallel/will-cite"
cd "$work/run"
HOME=$work/home PATH=$work/bin:$PATH bash -euo pipefail -c "$recipe" ||
  fail "the recipe failed:"$'\n'"$recipe"

# The same sweep unsharded: the parallel line's options without the shard, output and job ones.
sweep=$(sed -n '1,/::: /p' <<<"$recipe" | tr -d '\\\n' | sed -E 's/^parallel liftsim sweep //;
  s/--shard [^ ]+//; s/-o [^ ]+//; s/--jobs [^ ]+//; s/:::.*//')
# shellcheck disable=SC2086
"$exe" sweep -q $sweep -o whole.csv || fail "the unsharded sweep failed: $sweep"
cmp -s sweep.csv whole.csv || fail "the merged shards differ from the unsharded sweep ($sweep)"
echo "the README's GNU parallel recipe merges to the unsharded sweep"
