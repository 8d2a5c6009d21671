#!/usr/bin/env bash
# Real clients against servers that go wrong: a wrong password, an unknown
# host key, a refused connection, a server that closes part-way through its
# replies and one that hangs after its greeting. Each run ends with the
# reachability message or goes on past the broken replies, within a bounded
# time, and leaves no client running.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/../kit/kit_lib.sh"

kit_setup faults
kit_controller 127.0.77.31 sim1
kit_controller 127.0.77.32 sim1
kit_controller 127.0.77.33 sim1 cut 300
kit_start_sshd 127.0.77.31 127.0.77.32 127.0.77.33
kit_start_hung_greeting 127.0.77.36
# Nobody listens on 127.0.77.37.

# The host key of .32 is known to neither client.
sed -i '/127\.0\.77\.32/d' "$KIT/known_hosts" "$KIT/phome/.putty/sshhostkeys"
key="$KIT/keys/id_ed25519"

# refused RUN ADDRESS: the run stopped at the reachability check, in time,
# with nothing left running.
refused() {
  check "$1: status 1" [ "$(cat "$WORK/$1/rc")" = 1 ]
  check "$1: reachability message" grep -qx "SSH to filer $2 fails! Quitting." "$WORK/$1/err"
  check "$1: no client left" no_leftovers "$2"
  check "$1: no run folder left" bash -c "[ -z \"\$(ls -A '$WORK/$1/tmp'/kestrel* 2>/dev/null)\" ]"
}

# in_time RUN ARGS...: kit_kestrel with its own temp root, waited for; the
# seconds it took are in $took.
in_time() {
  local name=$1
  shift
  mkdir -p "$WORK/$name/tmp"
  SECONDS=0
  tmp="$WORK/$name/tmp" kit_kestrel "$name" "$@"
  wait_runs "$name"
  took=$SECONDS
}

in_time wrong_pw -t 0 -C 20 -f 127.0.77.31 -l "$KIT_USER" -S "pw:not the password"
refused wrong_pw 127.0.77.31
check "wrong password: sshd refused it" grep -q "Failed password for $KIT_USER" "$KIT/sshd.log"
check "wrong password: plink gave up at once" [ "$took" -lt 15 ]

in_time plink_hostkey -t 0 -C 20 -f 127.0.77.32 -l "$KIT_USER" -S "kf:$key.ppk"
refused plink_hostkey 127.0.77.32
in_time ssh_hostkey -t 0 -C 20 -f 127.0.77.32 -l "$KIT_USER" -S "kf:$key" -g
refused ssh_hostkey 127.0.77.32
check "unknown host keys: nothing reached the simulator" [ -z "$(kit_log 127.0.77.32)" ]

in_time no_server -t 0 -C 20 -f 127.0.77.37 -l "$KIT_USER" -S "kf:$key" -g
refused no_server 127.0.77.37
check "refused connection: ssh gave up at once" [ "$took" -lt 15 ]

in_time hung_greeting -t 0 -C 4 -f 127.0.77.36 -l "$KIT_USER" -S "pw:$KIT_PASSWORD"
refused hung_greeting 127.0.77.36
check "hung server: the query's time-out ended it" [ "$took" -lt 30 ]

# Every reply of .33 ends after 300 bytes: the run goes on to its end.
in_time cut -t 0 -C 20 -f 127.0.77.33 -l "$KIT_USER" -S "kf:$key" -g
check "cut replies: status 0" [ "$(cat "$WORK/cut/rc")" = 0 ]
check "cut replies: the report is complete" grep -qx "=-=-= Kestrel Execution Statistics -=-=-=-=" "$WORK/cut/out"
check "cut replies: a long reply was cut" same_text "$(section cut '=-=-=-=-=-= CONFIG 127.0.77.33 PRESTATS =-=-=-=-=-= sysconfig -av' | head -c 300)" \
  "$(section cut '=-=-=-=-=-= CONFIG 127.0.77.33 PRESTATS =-=-=-=-=-= sysconfig -av')"
check "cut replies: every command reached the server" [ "$(kit_remotes 127.0.77.33 | wc -l)" -gt 100 ]
check "cut replies: no client left" no_leftovers 127.0.77.33
finish
