#!/usr/bin/env bash
# One full iteration of two controllers through the machine's own plink
# against a real sshd on loopback whose forced command hands each command to
# the simulator: with a password (-t 0 and -t 1) and with a .ppk key file
# (-t 1), the runs side by side. Each report has the markers and command
# outputs of the same run through the simulator's own client shapes, the
# server handed every command to the simulator, and no client is left.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/../kit/kit_lib.sh"

kit_setup plink
kit_controller 127.0.77.11 sim1
kit_controller 127.0.77.12 sim2
kit_controller 127.0.77.13 sim1
kit_controller 127.0.77.14 sim2
kit_controller 127.0.77.15 sim1
kit_controller 127.0.77.16 sim2
kit_start_sshd

kit_kestrel pw0 -t 0 -f 127.0.77.11,127.0.77.12 -l "$KIT_USER" -S "pw:$KIT_PASSWORD"
kit_kestrel pw1 -t 1 -f 127.0.77.13,127.0.77.14 -l "$KIT_USER" -S "pw:$KIT_PASSWORD"
kit_kestrel kf1 -t 1 -f 127.0.77.15,127.0.77.16 -l "$KIT_USER" -S "kf:$KIT/keys/id_ed25519.ppk"
sim_kestrel sim0 -t 0 -f sim1,sim2
sim_kestrel sim1 -t 1 -f sim1,sim2
wait_runs pw0 pw1 kf1 sim0 sim1

same_as_sim pw0 sim0 127.0.77.11 127.0.77.12
same_as_sim pw1 sim1 127.0.77.13 127.0.77.14
same_as_sim kf1 sim1 127.0.77.15 127.0.77.16
for run in pw0 pw1; do
  check "$run: the password (with blanks) never reaches the report" \
    bash -c "! grep -aqF -- '$KIT_PASSWORD' '$WORK/$run/out' '$WORK/$run/err'"
  check "$run: it is shown masked" grep -aqF -- "-pw '${KIT_PASSWORD//?/*}'" "$WORK/$run/out"
done
check "sshd logged the password logins" grep -q "Accepted password for $KIT_USER" "$KIT/sshd.log"
check "sshd logged the key logins" grep -q "Accepted publickey for $KIT_USER" "$KIT/sshd.log"
finish
