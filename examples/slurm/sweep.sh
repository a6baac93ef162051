#!/bin/sh
# A sweep as a Slurm job array: each task runs one slice (--shard) into shard-K.csv in the folder
# the job was submitted from, whose dani.dat is the base case. The sweep is what follows the
# script's name on the sbatch line; the array must be a range (1-32, not 1,5,9).
#
#   sbatch --array=1-32 --cpus-per-task=4 sweep.sh --vary m_4=500:2500:5 --vary zc_4=0:3:0.1
#   liftsim merge --cases 12431 shard-*.csv -o sweep.csv     (once every task has ended)
#
# A task that is requeued or submitted again continues its shard where it stopped (--resume).
#SBATCH --requeue
#SBATCH --output=slurm-%A_%a.out
set -e
cd "$SLURM_SUBMIT_DIR"
k=$((SLURM_ARRAY_TASK_ID - SLURM_ARRAY_TASK_MIN + 1))
n=$((SLURM_ARRAY_TASK_MAX - SLURM_ARRAY_TASK_MIN + 1))
if [ "$n" != "$SLURM_ARRAY_TASK_COUNT" ]; then
  echo "sweep.sh: the array must be a range such as 1-32" >&2
  exit 2
fi
exec liftsim sweep "$@" --shard "$k/$n" --jobs "${SLURM_CPUS_PER_TASK:-1}" --resume \
  -o "shard-$k.csv"
