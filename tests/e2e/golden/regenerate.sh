#!/usr/bin/env bash
# regenerate.sh LIFTSIM
#
# Rewrites expected.txt, the manifest of the golden end-to-end test, from plain runs of the given
# liftsim executable on every input NAME.dat in this folder: for each run file, standard output and
# standard error the length and the SHA-256, and the exit status.
#
# Only for a change that deliberately alters the bytes of the plain run (its issue says so); the
# commit that changes the output carries the regenerated manifest, and its diff shows which outputs
# of which inputs changed. A refactoring must pass the test without regenerating.
set -euo pipefail
[[ $# -eq 1 && -x $1 ]] || { sed -n '2,10p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2; }
exe=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)
files=(dani.dat result.rez statica.dat vx_013.rez vz_013.rez vfi1.rez vfi3.rez vz_02.rez x_013.rez
       z_013.rez fi1.rez fi3.rez z_02.rez vx_c4.rez vfi_tk.rez x_c4.rez fi_tk.rez F_13.rez F_12.rez
       F_tp.rez F_kp.rez 1XZ2P.rez 2XZ2P.rez 3XZ2P.rez Engine.rez)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
{
  echo "# Plain runs of the inputs NAME.dat in this folder (regenerate.sh writes this file)."
  echo "# NAME OUTPUT BYTES SHA-256, or NAME status EXIT-STATUS"
  for input in "$here"/*.dat; do
    name=$(basename "$input" .dat)
    run=$work/$name
    mkdir "$run"
    cp "$input" "$run/dani.dat"
    status=0
    (cd "$run" && timeout 60 "$exe" </dev/null >"$work/$name.stdout" 2>"$work/$name.stderr") || status=$?
    for f in "${files[@]}"; do
      [[ -f $run/$f ]] || { echo "regenerate.sh: $name left no $f" >&2; exit 1; }
      echo "$name $f $(stat -c %s "$run/$f") $(sha256sum <"$run/$f" | cut -d' ' -f1)"
    done
    for s in stdout stderr; do
      echo "$name $s $(stat -c %s "$work/$name.$s") $(sha256sum <"$work/$name.$s" | cut -d' ' -f1)"
    done
    echo "$name status $status"
  done
} >"$work/expected.txt"
mv "$work/expected.txt" "$here/expected.txt"
echo "regenerate.sh: $(grep -c '^[^#].* status ' "$here/expected.txt") inputs written to $here/expected.txt"
