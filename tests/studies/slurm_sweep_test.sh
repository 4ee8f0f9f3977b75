#!/usr/bin/env bash
# A sweep on a real Slurm: starts a single-node cluster of its own on this
# machine (munged, slurmctld and slurmd with a minimal slurm.conf in a
# temporary folder, loopback ports only), submits a sweep of 2 scenarios x 4
# seeds with `mvnrt --sweep --submit slurm`, checks that the aggregate is the
# one of the same sweep run here, cancels one task on purpose and checks that
# --collect names it and `--submit slurm --resume` makes it and only it.
# Every daemon it started is stopped on every way out.
#
# Exit status: 0 passed, 1 failed, 77 skipped (the reason is printed): not
# root, Slurm or munge not installed, or the cluster does not come up.
# Usage: slurm_sweep_test.sh MVNRT [--skip REASON]
set -u

MVNRT=$1
skip() {
  echo "SKIPPED: $*"
  exit 77
}
[ "${2:-}" = "--skip" ] && skip "${3:-}"
[ "$(id -u)" -eq 0 ] || skip "the daemons of a test cluster need root (slurmd runs tasks as their user)"
for tool in munged mungekey slurmctld slurmd sbatch squeue scancel sinfo python3; do
  command -v "$tool" >/dev/null 2>&1 ||
    skip "$tool is not installed (scripts/install-deps.sh installs munge and slurm-wlm)"
done

T=$(mktemp -d /tmp/mvnrt-slurm-test.XXXXXX)
chmod 755 "$T" # munge wants its socket's folder reachable
PIDS=()
cleanup() {
  # Jobs first (their steps would outlive slurmd), then the daemons, newest first.
  [ -f "$T/slurm.conf" ] && SLURM_CONF="$T/slurm.conf" timeout 10 scancel --quiet --user=root 2>/dev/null
  for ((i = ${#PIDS[@]} - 1; i >= 0; i--)); do
    kill "${PIDS[$i]}" 2>/dev/null
  done
  for pid in "${PIDS[@]}"; do
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
  done
  rm -rf "$T"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

fail() {
  echo "FAILED: $*"
  for log in "$T"/slurmctld.log "$T"/slurmd.log; do
    [ -f "$log" ] && { echo "--- $log"; tail -n 20 "$log"; }
  done
  exit 1
}

# munge: a key, socket, pid and log of its own.
mungekey -c -b 1024 -k "$T/munge.key" || skip "mungekey could not make a key"
munged --foreground --force --key-file="$T/munge.key" --socket="$T/munge.socket" \
  --pid-file="$T/munged.pid" --log-file="$T/munged.log" --seed-file="$T/munged.seed" \
  >>"$T/daemons.out" 2>&1 &
PIDS+=($!)
for _ in $(seq 50); do [ -S "$T/munge.socket" ] && break; sleep 0.1; done
[ -S "$T/munge.socket" ] || skip "munged did not start: $(tail -n 3 "$T/munged.log" 2>/dev/null)"

read -r CTLD_PORT SLURMD_PORT < <(python3 -c '
import socket
s = [socket.socket() for _ in range(2)]
for x in s: x.bind(("127.0.0.1", 0))
print(*[x.getsockname()[1] for x in s])')
CPUS=$(nproc)
mkdir -p "$T/state" "$T/spool"
cat >"$T/slurm.conf" <<EOF
ClusterName=mvnrttest
SlurmctldHost=localhost(127.0.0.1)
SlurmctldPort=$CTLD_PORT
SlurmdPort=$SLURMD_PORT
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
CredType=cred/munge
AuthInfo=socket=$T/munge.socket
StateSaveLocation=$T/state
SlurmdSpoolDir=$T/spool
SlurmctldPidFile=$T/slurmctld.pid
SlurmdPidFile=$T/slurmd.pid
SlurmctldLogFile=$T/slurmctld.log
SlurmdLogFile=$T/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
SelectType=select/cons_tres
SelectTypeParameters=CR_Core
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
JobCompType=jobcomp/none
MpiDefault=none
MailProg=/bin/true
ReturnToService=2
SchedulerType=sched/builtin
NodeName=localhost NodeAddr=127.0.0.1 CPUs=$CPUS State=UNKNOWN
PartitionName=debug Nodes=ALL Default=YES MaxTime=INFINITE State=UP
EOF
export SLURM_CONF="$T/slurm.conf"
slurmctld -D -i >>"$T/daemons.out" 2>&1 &
PIDS+=($!)
# The runs are the work of a test: they yield to everything else.
nice -n 19 slurmd -D -N localhost >>"$T/daemons.out" 2>&1 &
PIDS+=($!)
state=""
for _ in $(seq 150); do
  state=$(timeout 5 sinfo -h -n localhost -o %t 2>/dev/null)
  [ "$state" = "idle" ] && break
  sleep 0.2
done
[ "$state" = "idle" ] || skip "the test cluster did not come up (node state \"$state\"): $(tail -n 3 "$T/slurmctld.log" "$T/slurmd.log" 2>/dev/null | tr '\n' ' ')"
echo "test cluster up: slurmctld on 127.0.0.1:$CTLD_PORT, $CPUS CPUs"

# Two small scenarios, four seeds each.
W="$T/work"
mkdir -p "$W"
cat >"$W/room.json" <<'EOF'
{"name": "room", "timeLimit": 120,
 "walkable": [[[0, 0], [6, 0], [6, 6], [0, 6]]],
 "exits": [{"name": "door", "from": [6, 2.5], "to": [6, 3.5]}],
 "fill": [{"area": [[0.5, 0.5], [5.5, 0.5], [5.5, 5.5], [0.5, 5.5]], "count": 20}]}
EOF
cat >"$W/corridor.json" <<'EOF'
{"name": "corridor", "timeLimit": 120,
 "walkable": [[[0, 0], [12, 0], [12, 3], [0, 3]]],
 "exits": [{"name": "east", "from": [12, 0.5], "to": [12, 2.5]}, {"name": "west", "from": [0, 1], "to": [0, 2]}],
 "fill": [{"area": [[2, 0.5], [10, 0.5], [10, 2.5], [2, 2.5]], "count": 25}]}
EOF
cat >"$W/sweep.json" <<'EOF'
{"seeds": "1-4", "scenarios": [{"scenario": "room.json"}, {"scenario": "corridor.json"}]}
EOF
cd "$W" || fail "no work folder"

"$MVNRT" --headless --quiet --sweep sweep.json --out local || fail "the local sweep failed"

# Waits for the jobs given (bounded); fails when they are still there.
wait_jobs() {
  for _ in $(seq 600); do
    [ -z "$(squeue -h -j "$1" -o %i 2>/dev/null)" ] && return 0
    sleep 0.2
  done
  squeue
  fail "jobs $1 still queued or running after 120 s"
}
job_ids() { # ARRAY COLLECT from submission.json
  python3 -c 'import json,sys; j=json.load(open(sys.argv[1])); print(j["arrayJob"], j["collectJob"])' "$1"
}

# On the cluster, two tasks at a time; task 7 (corridor, seed 4) is
# cancelled while it waits.
"$MVNRT" --headless --sweep sweep.json --out cluster --submit slurm --max-parallel 2 --time 00:05:00 >submit.out ||
  { cat submit.out; fail "--submit slurm failed"; }
cat submit.out
read -r ARRAY COLLECT < <(job_ids cluster/submission.json)
cp cluster/submission.json first-submission.json
scancel "${ARRAY}_7" || fail "could not cancel task 7"
wait_jobs "$ARRAY,$COLLECT"
[ -f cluster/sweep.csv ] || fail "the aggregation job wrote no sweep.csv: $(cat cluster/slurm-logs/collect-* 2>/dev/null)"
grep -q "task 7 (corridor seed 4: missing)" cluster/slurm-logs/collect-"$COLLECT".out ||
  fail "the aggregation job did not name task 7: $(cat cluster/slurm-logs/collect-"$COLLECT".out)"
"$MVNRT" --collect cluster >collect.out 2>&1 && fail "--collect passed with a run missing"
grep -q "tasks to run again: 7 " collect.out || fail "--collect did not name task 7: $(cat collect.out)"

# --resume submits task 7 alone.
"$MVNRT" --headless --sweep sweep.json --out cluster --submit slurm --resume >resume.out ||
  { cat resume.out; fail "--submit slurm --resume failed"; }
cat resume.out
grep -q "tasks 7 " resume.out || fail "--resume did not submit task 7 alone"
read -r ARRAY2 COLLECT2 < <(job_ids cluster/submission.json)
wait_jobs "$ARRAY2,$COLLECT2"
cmp local/sweep.csv cluster/sweep.csv || {
  diff local/sweep.csv cluster/sweep.csv
  fail "sweep.csv of the cluster differs from the local one"
}
for v in room corridor; do
  cmp "local/$v/runs.json" "cluster/$v/runs.json" || fail "$v/runs.json differs"
done

# Submission to start of each task of the first submission (the tasks log
# when they start).
python3 - "$W/first-submission.json" "$W/cluster/slurm-logs/task-${ARRAY}_" <<'EOF'
import glob, json, re, sys
submitted = json.load(open(sys.argv[1]))["submittedAt"]
starts = sorted(float(m.group(1)) for log in glob.glob(sys.argv[2] + "*.out")
                for m in [re.search(r"started at ([0-9.]+)", open(log).read())] if m)
print("tasks started after submission (s): " + ", ".join("%.2f" % (s - submitted) for s in starts))
EOF
echo "PASSED: the cluster's sweep.csv equals the local one; task 7 cancelled, named and resumed"
exit 0
