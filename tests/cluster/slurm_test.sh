#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The capacity analysis as a Slurm job array on a one-node cluster that this
# test starts itself: munged (unless one runs already), slurmctld and slurmd
# with a generated slurm.conf in a scratch folder on unused ports. The merged
# array output must be byte for byte the unsharded run's. The test stops
# exactly the daemons it started, by their pid files. Where the daemons
# cannot start, it says why and exits 77 (skipped).
#   slurm_test.sh DUOLINK_BATCH SOURCE_DIR
set -euo pipefail
batch=$1 source=$2
skip() { echo "skipped: $*"; exit 77; }
for tool in slurmctld slurmd sbatch squeue sinfo munged munge; do
    command -v "$tool" > /dev/null || [ -x "/usr/sbin/$tool" ] || skip "$tool is not installed (Debian packages slurm-wlm and munge)"
done
[ "$(id -u)" -eq 0 ] || skip "the Slurm daemons of this test need root"
[ -r /etc/munge/munge.key ] || skip "there is no munge key /etc/munge/munge.key"
command -v python3 > /dev/null || skip "python3 is needed to find unused ports"

scratch=$(mktemp -d /tmp/duolink-slurm.XXXXXX)
chmod 755 "$scratch"
started_munged=""
stop_pidfile() {
    local file=$1 pid
    [ -s "$file" ] || return 0
    pid=$(cat "$file")
    kill "$pid" 2> /dev/null || return 0
    for _ in $(seq 50); do kill -0 "$pid" 2> /dev/null || return 0; sleep 0.1; done
    kill -9 "$pid" 2> /dev/null || true
}
cleanup() {
    stop_pidfile "$scratch/slurmd.pid"
    stop_pidfile "$scratch/slurmctld.pid"
    [ -z "$started_munged" ] || stop_pidfile "$started_munged"
    rm -rf "$scratch"
}
trap cleanup EXIT

# munged, as its own user; one that already runs is left alone.
munge_pidfile=/run/munge/munged.pid
if ! munge -n 2> /dev/null | unmunge > /dev/null 2>&1; then
    mkdir -p /run/munge && chown munge:munge /run/munge
    su -s /bin/sh munge -c /usr/sbin/munged > "$scratch/munged.out" 2>&1 || skip "munged did not start: $(cat "$scratch/munged.out")"
    started_munged=$munge_pidfile
    munge -n | unmunge > /dev/null 2>&1 || skip "munge does not work after starting munged"
fi

read -r ctld_port slurmd_port < <(python3 -c '
import socket
s = [socket.socket() for _ in range(2)]
for x in s: x.bind(("127.0.0.1", 0))
print(*[x.getsockname()[1] for x in s])')
host=$(hostname -s)
mkdir -p "$scratch/state" "$scratch/spool"
cat > "$scratch/slurm.conf" << CONF
ClusterName=duolinktest
SlurmctldHost=$host
SlurmUser=root
SlurmctldPort=$ctld_port
SlurmdPort=$slurmd_port
AuthType=auth/munge
StateSaveLocation=$scratch/state
SlurmdSpoolDir=$scratch/spool
SlurmctldPidFile=$scratch/slurmctld.pid
SlurmdPidFile=$scratch/slurmd.pid
SlurmctldLogFile=$scratch/slurmctld.log
SlurmdLogFile=$scratch/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
SchedulerType=sched/backfill
SelectType=select/cons_tres
ReturnToService=2
MpiDefault=none
NodeName=$host CPUs=$(nproc) State=UNKNOWN
PartitionName=debug Nodes=$host Default=YES MaxTime=INFINITE State=UP
CONF
export SLURM_CONF=$scratch/slurm.conf
/usr/sbin/slurmctld -f "$SLURM_CONF" || skip "slurmctld did not start: $(tail -n 5 "$scratch/slurmctld.log" 2> /dev/null)"
sleep 1
/usr/sbin/slurmd -f "$SLURM_CONF" || skip "slurmd did not start: $(tail -n 5 "$scratch/slurmd.log" 2> /dev/null)"
for _ in $(seq 60); do
    sinfo -h -o %t 2> /dev/null | grep -q idle && break
    sleep 0.5
done
sinfo -h -o %t | grep -q idle || skip "the node did not come up: $(tail -n 5 "$scratch/slurmd.log")"

mkdir "$scratch/job"
cp "$source/examples/veld200gSetup.dat" "$scratch/job/"
options=(--capacity-pairs 12 --capacity-sets 4 --seed 7 --set beta=0.1)
"$batch" --capacity "$scratch/whole.csv" "${options[@]}" "$scratch/job" > /dev/null
export DUOLINK_BATCH=$batch
merge=$("$source/examples/cluster/submit-capacity" "$scratch/job" "$scratch/merged.csv" 4 "${options[@]}")
merge=${merge%%;*}
for _ in $(seq 600); do
    [ -n "$(squeue -h 2> /dev/null)" ] || break
    sleep 0.5
done
[ -z "$(squeue -h)" ] || { squeue; echo "the array did not finish"; exit 1; }
if ! cmp "$scratch/whole.csv" "$scratch/merged.csv"; then
    cat "$scratch"/*.log 2> /dev/null | tail -n 40
    exit 1
fi
[ ! -e "$scratch/merged.csv.1" ] # the merge step removed the parts
echo "the Slurm array's merged rows are the unsharded run's (merge job $merge)"
