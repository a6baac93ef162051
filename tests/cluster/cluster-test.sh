#!/usr/bin/env bash
# The README's Slurm recipe, run for real: a one-node cluster of this machine (slurm.sh) runs the
# batch script examples/slurm/sweep.sh as a job array for a small sweep; the shards, merged with
# `liftsim merge --cases N`, must be the unsharded sweep's file byte for byte. Then one shard is
# cut inside a row, as a task stopped mid-write leaves it, and the array submitted again: every
# task resumes, and the merge is still the same file. Also checks that the README shows the
# script as it is.
#
#   cluster-test.sh SOURCE_DIR LIFTSIM
#
# Exits 77 (skipped) without Slurm or root, unless CI is set: there it fails.
set -euo pipefail
source_dir=$1
liftsim=$2
here=$(cd "$(dirname "$0")" && pwd)
script=$source_dir/examples/slurm/sweep.sh

fail() {
  echo "cluster test: $*"
  exit 1
}
unavailable() {
  [ -n "${CI:-}" ] && fail "$* (CI needs slurmctld slurmd slurm-client munge)"
  echo "cluster test skipped: $*"
  exit 77
}

# The README holds the script verbatim in a fenced block.
awk -v file="$script" '
  BEGIN { while ((getline line < file) > 0) want = want line "\n" }
  /^```/ { if (inside) { if (block == want) found = 1; inside = 0 } else { inside = 1; block = "" }; next }
  inside { block = block $0 "\n" }
  END { exit found ? 0 : 1 }' "$source_dir/README.md" ||
  fail "README.md does not show examples/slurm/sweep.sh as it is"

for program in sbatch sinfo slurmctld slurmd munged; do
  command -v "$program" >/dev/null || unavailable "$program is not installed"
done
[ "$(id -u)" = 0 ] || unavailable "starting slurmd and munged needs root"

cluster=$(mktemp -d "${TMPDIR:-/tmp}/liftsim-slurm-XXXXXX")
work=$(mktemp -d "${TMPDIR:-/tmp}/liftsim-sweep-XXXXXX")
trap 'bash "$here/slurm.sh" stop "$cluster"; rm -rf "$cluster" "$work"' EXIT
seconds() { date +%s.%N; }
took() { awk -v a="$1" -v b="$(seconds)" 'BEGIN { printf "%.1f s", b - a }'; }

t0=$(seconds)
bash "$here/slurm.sh" start "$cluster"
echo "cluster up in $(took "$t0")"
export SLURM_CONF=$cluster/slurm.conf
# The jobs take liftsim from the PATH they are submitted with, as a user's installed one.
PATH="$(dirname "$liftsim"):$PATH"
export PATH

cd "$work"
cp "$source_dir/examples/dani.dat" .
sweep=(--vary m_4=500:2500:500 --vary zc_4=0,0.5)  # 10 cases: stable, stalled and failed ones
cases=10
# Each submission has 200 s, well inside CTest's 600 s for the whole test: a cluster that stops
# answering ends the test here, through the trap that stops the daemons, rather than by CTest's
# kill, which would leave them running.
submit() {
  local t
  t=$(seconds)
  timeout 200 sbatch --wait --quiet --array=1-3 --cpus-per-task=1 "$script" "${sweep[@]}" || {
    tail -n 20 slurm-*.out "$cluster"/slurmctld.log "$cluster"/slurmd.log 2>/dev/null || true
    fail "the job array failed or did not end within 200 s ($1)"
  }
  echo "$1: 3 array tasks in $(took "$t")"
}
merge_equals() {
  liftsim merge --cases "$cases" shard-1.csv shard-2.csv shard-3.csv -o merged.csv ||
    fail "merge refused the shards ($1)"
  cmp merged.csv unsharded.csv || fail "the merged shards differ from the unsharded sweep ($1)"
}

liftsim sweep "${sweep[@]}" -o unsharded.csv
submit "first submission"
merge_equals "first submission"

# A task stopped inside a row: its shard loses the end of its last row; submitted again, each task
# resumes its own shard.
size=$(stat -c %s shard-2.csv)
truncate -s $((size - 7)) shard-2.csv
submit "second submission"
merge_equals "after resuming"
t=$(seconds)
bash "$here/slurm.sh" stop "$cluster"
echo "cluster stopped in $(took "$t"); merged shards equal the unsharded sweep; $(took "$t0") in all"
