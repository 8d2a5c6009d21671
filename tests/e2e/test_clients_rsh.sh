#!/usr/bin/env bash
# One full iteration of two controllers through the machine's own rsh
# against rshd (under an inetd of the test's own) on loopback, whose login
# shell for the kit user hands each command to the simulator: with -t 0, and
# at the same time with -t 1. Each report has the markers and command outputs
# of the same run through the simulator's own client shapes, the server
# handed every command to the simulator, and no client is left.
#
# rsh takes privileged ports (512-1023) on both ends of every connection, and
# a closed connection holds its port for a minute; with client and server on
# one host a run's few hundred commands use them all up. So the script runs
# in a network namespace of its own whose loopback keeps no closed
# connections around.
if [ -z "${KIT_OWN_NETNS:-}" ]; then
  if command -v unshare >/dev/null && unshare -n true 2>/dev/null; then
    exec unshare -n env KIT_OWN_NETNS=1 bash "$0" "$@"
  fi
  echo "SKIP: rsh needs a network namespace of its own (unshare -n)" >&2
  exit 77
fi
ip link set lo up
sysctl -qw net.ipv4.tcp_max_tw_buckets=0

source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/../kit/kit_lib.sh"

kit_setup rsh
kit_controller 127.0.77.21 sim1
kit_controller 127.0.77.22 sim2
kit_controller 127.0.77.23 sim1
kit_controller 127.0.77.24 sim2
kit_start_rsh

kit_kestrel rsh0 -t 0 -f 127.0.77.21,127.0.77.22 -l "$KIT_USER"
kit_kestrel rsh1 -t 1 -f 127.0.77.23,127.0.77.24 -l "$KIT_USER"
sim_kestrel sim0 -t 0 -f sim1,sim2
sim_kestrel sim1 -t 1 -f sim1,sim2
wait_runs rsh0 rsh1 sim0 sim1

same_as_sim rsh0 sim0 127.0.77.21 127.0.77.22
same_as_sim rsh1 sim1 127.0.77.23 127.0.77.24
sampled() { kit_remotes 127.0.77.23 | grep -q 'sysstat '; }
check "-t 1: the samplers ran through rsh" sampled
finish
