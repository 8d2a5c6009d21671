#!/usr/bin/env bash
# One full iteration of two controllers through the machine's own OpenSSH
# client with a key file (-g), against a real sshd on loopback whose forced
# command hands each command to the simulator: with -t 0, and at the same
# time with -t 1 and the background samplers. Each report has the markers and
# command outputs of the same run through the simulator's own client shapes,
# the server handed every command to the simulator, and no client is left.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/../kit/kit_lib.sh"

kit_setup ssh
kit_controller 127.0.77.1 sim1
kit_controller 127.0.77.2 sim2
kit_controller 127.0.77.3 sim1
kit_controller 127.0.77.4 sim2
kit_start_sshd

key="$KIT/keys/id_ed25519"
kit_kestrel ssh0 -t 0 -f 127.0.77.1,127.0.77.2 -l "$KIT_USER" -S "kf:$key" -g
kit_kestrel ssh1 -t 1 -f 127.0.77.3,127.0.77.4 -l "$KIT_USER" -S "kf:$key" -g
sim_kestrel sim0 -t 0 -f sim1,sim2
sim_kestrel sim1 -t 1 -f sim1,sim2
wait_runs ssh0 ssh1 sim0 sim1

same_as_sim ssh0 sim0 127.0.77.1 127.0.77.2
same_as_sim ssh1 sim1 127.0.77.3 127.0.77.4
sampled() { kit_remotes 127.0.77.3 | grep -q 'sysstat '; }
check "-t 1: the samplers ran through ssh" sampled
check "sshd logged the key logins" grep -q "Accepted publickey for $KIT_USER" "$KIT/sshd.log"
finish
