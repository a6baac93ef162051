#!/usr/bin/env bash
# A one-node Slurm cluster on this machine, for the cluster test and CI: configuration, state and
# logs in a folder of its own, ports of its own, the node "localhost" with the machine's CPUs, and
# a munged of its own (its key and socket in DIR/munge), so that it neither needs the machine's
# munged nor depends on one that someone else may stop while the cluster runs.
#
#   slurm.sh start DIR   starts munged, slurmctld and slurmd with DIR/slurm.conf and waits until
#                        the node is idle
#   slurm.sh stop DIR    stops the daemons that `start` started, by the process ids it noted
#
# Clients reach the cluster with SLURM_CONF=DIR/slurm.conf (it names the munge socket). Needs root
# (slurmd starts jobs as their owner) and Debian's slurmctld, slurmd, slurm-client and munge.
# Exit status 1 with the daemons' logs when the cluster does not come up.
set -euo pipefail

usage() {
  echo "usage: slurm.sh start|stop DIR" >&2
  exit 2
}
(($# == 2)) || usage
action=$1
dir=$(realpath -m "$2")

log() { echo "slurm.sh: $*" >&2; }

# True when a process with this id runs the program `name` (a process id can be reused) and has
# not ended (a daemon that ended stays a zombie where nothing reaps orphans).
runs() {
  local pid=$1 name=$2 stat
  [[ -n "$pid" && "$(cat "/proc/$pid/comm" 2>/dev/null)" == "$name" ]] || return 1
  stat=$(cat "/proc/$pid/stat" 2>/dev/null) || return 1
  stat=${stat##*) }
  [[ "${stat%% *}" != Z ]]
}

# Ends the daemons noted in DIR that still run the program they were started as: SIGTERM to all
# of them at once, then, for one still running after 10 s, SIGKILL.
stop() {
  local file name pid pids=() names=()
  for file in slurmd.pid:slurmd slurmctld.pid:slurmctld munge/munged.pid:munged; do
    name=${file#*:}
    file=$dir/${file%:*}
    [[ -s "$file" ]] || continue
    pid=$(<"$file")
    rm -f "$file"
    runs "$pid" "$name" || continue
    kill -TERM "$pid" 2>/dev/null || true
    pids+=("$pid")
    names+=("$name")
  done
  for _ in $(seq 100); do
    local left=0 i
    for i in "${!pids[@]}"; do runs "${pids[$i]}" "${names[$i]}" && left=1; done
    ((left)) || return 0
    sleep 0.1
  done
  for i in "${!pids[@]}"; do
    if runs "${pids[$i]}" "${names[$i]}"; then
      log "${names[$i]} (${pids[$i]}) did not stop on SIGTERM; SIGKILL"
      kill -KILL "${pids[$i]}" 2>/dev/null || true
    fi
  done
}

munge_answers() {
  munge -S "$dir/munge/socket" -n </dev/null 2>/dev/null |
    unmunge -S "$dir/munge/socket" >/dev/null 2>&1
}

# munged with a fresh key, its socket, pid, seed and log in DIR/munge. munged wants every folder
# above its socket searchable by all, and none of them writable by others.
start_munge() {
  chmod 0711 "$dir"
  install -d -m 0755 "$dir/munge"
  mungekey --create --keyfile="$dir/munge/key" || return 1
  munged --socket="$dir/munge/socket" --key-file="$dir/munge/key" --pid-file="$dir/munge/munged.pid" \
    --seed-file="$dir/munge/seed" --log-file="$dir/munge/munged.log" || return 1
  for _ in $(seq 50); do
    munge_answers && return 0
    sleep 0.1
  done
  log "munged does not answer"
  return 1
}

# A TCP port on the loopback that nothing listens on, from a range of its own.
free_port() {
  local port
  for _ in $(seq 200); do
    port=$((20000 + RANDOM % 20000))
    if ! (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
      echo "$port"
      return 0
    fi
  done
  log "no free port found"
  return 1
}

write_config() {
  local ctld_port slurmd_port
  ctld_port=$(free_port)
  slurmd_port=$(free_port)
  while [[ "$slurmd_port" == "$ctld_port" ]]; do slurmd_port=$(free_port); done
  mkdir -p "$dir/state" "$dir/spool"
  cat >"$dir/slurm.conf" <<EOF
# One node, no accounting: the cluster of liftsim's cluster test (tests/cluster/slurm.sh).
ClusterName=liftsim
SlurmctldHost=localhost
SlurmctldPort=$ctld_port
SlurmdPort=$slurmd_port
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
CredType=cred/munge
AuthInfo=socket=$dir/munge/socket
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
SelectType=select/cons_tres
SelectTypeParameters=CR_CPU
SchedulerType=sched/backfill
MpiDefault=none
AccountingStorageType=accounting_storage/none
JobAcctGatherType=jobacct_gather/none
JobCompType=jobcomp/none
ReturnToService=2
StateSaveLocation=$dir/state
SlurmdSpoolDir=$dir/spool
SlurmctldPidFile=$dir/slurmctld.pid
SlurmdPidFile=$dir/slurmd.pid
SlurmctldLogFile=$dir/slurmctld.log
SlurmdLogFile=$dir/slurmd.log
NodeName=localhost NodeAddr=127.0.0.1 CPUs=$(nproc) State=UNKNOWN
PartitionName=main Nodes=localhost Default=YES MaxTime=INFINITE State=UP
EOF
}

fail_start() {
  log "$1; the daemons' logs:"
  for f in "$dir"/munge/munged.log "$dir"/slurmctld.log "$dir"/slurmd.log; do
    [[ -f "$f" ]] && { echo "== $f" >&2; tail -n 30 "$f" >&2; }
  done
  stop
  exit 1
}

start() {
  for program in munge unmunge munged mungekey slurmctld slurmd sinfo; do
    command -v "$program" >/dev/null || { log "$program is missing"; exit 1; }
  done
  [[ "$(id -u)" == 0 ]] || { log "needs root"; exit 1; }
  mkdir -p "$dir"
  start_munge || fail_start "munged did not start"
  write_config
  export SLURM_CONF=$dir/slurm.conf
  slurmctld -f "$SLURM_CONF" || fail_start "slurmctld did not start"
  slurmd -f "$SLURM_CONF" -N localhost || fail_start "slurmd did not start"
  for _ in $(seq 300); do
    if [[ "$(sinfo -h -N -n localhost -o %T 2>/dev/null)" == idle ]]; then
      return 0
    fi
    sleep 0.1
  done
  fail_start "the node is not idle after 30 s ($(sinfo -h -N -o '%N %T' 2>&1))"
}

case "$action" in
  start) start ;;
  stop) stop ;;
  *) usage ;;
esac
