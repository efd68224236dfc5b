#!/usr/bin/env bash
# The two recipes of docs/batch.md, run on this machine, each against a
# local batch of the same inputs, byte for byte:
#   parallel  GNU parallel over ssh: two ssh logins to an sshd that this
#             script starts on 127.0.0.1 (its own host key, its own
#             authorized key, a port of its own), each login a worker with
#             --shard K/2, the archive in one folder both see
#   slurm     a job array (sbatch --array=1-2) on a one-node Slurm that this
#             script starts (munged, slurmctld and slurmd, a temporary
#             configuration), each task a worker with --shard
# Everything lives in a temporary folder and stops when the script ends.
# Needs root (sshd and slurmd run as root) and the 'recipes' packages
# (tools/install-packages.sh recipes); without them it skips (status 77).
# Usage: tests/batch_recipes.sh VELMOR [parallel|slurm]...   (default: both)
set -euo pipefail
velmor=$(realpath "$1")
shift
recipes=("$@")
[ ${#recipes[@]} -gt 0 ] || recipes=(parallel slurm)
skip() { echo "batch_recipes: skipped: $*"; exit 77; }
[ "$(id -u)" -eq 0 ] || skip "needs root to start sshd and slurmd (CI runs as root)"
for p in /usr/sbin/sshd ssh ssh-keygen parallel ffmpeg; do
    command -v "$p" >/dev/null || skip "$p is missing (tools/install-packages.sh recipes program)"
done

work=$(mktemp -d /tmp/velmor-recipes-XXXXXX)
started=()
cleanup() {
    for pid in "${started[@]}"; do kill "$pid" 2>/dev/null || true; done
    for pid in "${started[@]}"; do wait "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT
cd "$work"

# The archive: clips and photographs in folders, one of them no video.
mkdir -p archive/tapes archive/scans
for i in 1 2 3 4 5; do
    ffmpeg -v error -nostdin -f lavfi -i "testsrc2=size=64x48:rate=10:duration=0.3" \
        -vf "eq=contrast=0.$((i + 2))" -c:v ffv1 "archive/tapes/tape$i.nut"
    ffmpeg -v error -nostdin -f lavfi -i "testsrc2=size=48x40:rate=1" -frames:v 1 \
        -vf "eq=contrast=0.$((i + 3))" "archive/scans/scan$i.png"
done
cmd=("$velmor" --recursive "$work/archive" --gain 90 --report)
"${cmd[@]}" "$work/local.csv" -o "$work/local/" -q 2>/dev/null
same() { # recipe name: its outputs equal the local batch's, and decode
    local name=$1 f
    diff -r "$work/local" "$work/$name" || { echo "batch_recipes: $name differs from the local batch"; return 1; }
    for f in $(cd "$work/$name" && find . -type f); do
        [ -z "$(ffmpeg -v error -nostdin -i "$work/$name/$f" -f null - 2>&1)" ] ||
            { echo "batch_recipes: $name/$f does not decode"; return 1; }
    done
    echo "batch_recipes: $name: $(cd "$work/$name" && find . -type f | wc -l) outputs, equal to the local batch's"
}

free_port() { # a port nothing listens on
    /usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'
}

run_parallel() {
    local port
    port=$(free_port)
    mkdir -p ssh /run/sshd
    ssh-keygen -q -t ed25519 -N '' -f ssh/host_key
    ssh-keygen -q -t ed25519 -N '' -f ssh/user_key
    cp ssh/user_key.pub ssh/authorized_keys
    chmod 700 ssh
    cat >ssh/sshd_config <<CONF
ListenAddress 127.0.0.1
Port $port
HostKey $work/ssh/host_key
AuthorizedKeysFile $work/ssh/authorized_keys
PidFile $work/ssh/sshd.pid
PasswordAuthentication no
KbdInteractiveAuthentication no
PermitRootLogin prohibit-password
UsePAM no
StrictModes no
CONF
    /usr/sbin/sshd -D -e -f ssh/sshd_config 2>ssh/sshd.log &
    started+=($!)
    # Two logins to this machine, by two names, as two workers would be.
    cat >ssh/config <<CONF
Host worker1 worker2
    HostName 127.0.0.1
    Port $port
    IdentityFile $work/ssh/user_key
    IdentitiesOnly yes
    StrictHostKeyChecking no
    UserKnownHostsFile /dev/null
    LogLevel ERROR
    BatchMode yes
CONF
    for _ in $(seq 50); do ssh -F ssh/config worker1 true 2>/dev/null && break; sleep 0.1; done
    ssh -F ssh/config worker1 true || { cat ssh/sshd.log; return 1; }
    HOME=$work parallel --will-cite --ssh "ssh -F $work/ssh/config" -S 1/worker1,1/worker2 \
        "${cmd[@]}" "$work/parallel-{}.csv" -o "$work/parallel/" -q --shard {}/2 ::: 1 2 2>/dev/null
    same parallel
}

run_slurm() {
    for p in munged slurmctld slurmd sbatch; do
        command -v "$p" >/dev/null || skip "$p is missing (tools/install-packages.sh recipes)"
    done
    local host ctld_port d_port
    host=$(hostname -s)
    ctld_port=$(free_port)
    d_port=$(free_port)
    mkdir -p slurm/state slurm/spool munge
    chmod 700 munge
    dd if=/dev/urandom of=munge/munge.key bs=1024 count=1 status=none
    chmod 400 munge/munge.key
    munged --foreground --force --key-file="$work/munge/munge.key" --socket="$work/munge/socket" \
        --pid-file="$work/munge/pid" --log-file="$work/munge/log" --seed-file="$work/munge/seed" 2>munge/stderr &
    started+=($!)
    cat >slurm/slurm.conf <<CONF
ClusterName=velmortest
SlurmctldHost=$host
SlurmctldPort=$ctld_port
SlurmdPort=$d_port
AuthType=auth/munge
AuthInfo=socket=$work/munge/socket
CredType=cred/munge
SlurmUser=root
SlurmdUser=root
StateSaveLocation=$work/slurm/state
SlurmdSpoolDir=$work/slurm/spool
SlurmctldPidFile=$work/slurm/slurmctld.pid
SlurmdPidFile=$work/slurm/slurmd.pid
SlurmctldLogFile=$work/slurm/slurmctld.log
SlurmdLogFile=$work/slurm/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
SchedulerType=sched/builtin
SelectType=select/cons_tres
SelectTypeParameters=CR_CPU
JobCompType=jobcomp/none
AccountingStorageType=accounting_storage/none
MpiDefault=none
ReturnToService=2
NodeName=$host CPUs=$(nproc) State=UNKNOWN
PartitionName=batch Nodes=$host Default=YES MaxTime=INFINITE State=UP
CONF
    export SLURM_CONF=$work/slurm/slurm.conf
    for _ in $(seq 50); do [ -S munge/socket ] && break; sleep 0.1; done
    slurmctld -D -i -f "$SLURM_CONF" 2>slurm/slurmctld.stderr &
    started+=($!)
    slurmd -D -f "$SLURM_CONF" 2>slurm/slurmd.stderr &
    started+=($!)
    for _ in $(seq 100); do sinfo -h -o %T 2>/dev/null | grep -q idle && break; sleep 0.2; done
    sinfo -h -o %T | grep -q idle || { tail -20 slurm/*.log; return 1; }
    sbatch --wait --quiet --array=1-2 --output="$work/slurm/task-%a.out" --chdir="$work" \
        --wrap "$(printf '%q ' "${cmd[@]}") $work/slurm-\$SLURM_ARRAY_TASK_ID.csv -o $work/slurm-out/ -q --shard \$SLURM_ARRAY_TASK_ID/2" ||
        { cat slurm/task-*.out; tail -20 slurm/*.log; return 1; }
    mv slurm-out slurm-batch
    same slurm-batch
}

status=0
for r in "${recipes[@]}"; do
    echo "== $r"
    "run_$r" || status=1
done
exit $status
