#!/usr/bin/env bash
# The folders and files kestrel leaves beside the report (gmon/, the trace
# folders and what is copied into them), run as the user the script runs as
# (root on the test machines) under umask 000, the runs at the same time:
# links planted at gmon/, at the information file and at every trace folder
# name the run could take are never followed; what kestrel makes is 0700 and
# 0600; failed copies (a failing client, a full disk) are failures and leave
# no file; listings never reach the report.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/controller_lib.sh"
source "$(dirname "$0")/samplers_lib.sh"
umask 000

plain=("vzones =" "vifs =")
model lp1 "${plain[@]}" "fault:ls / = long_output 3" "fault:ls /etc/log = long_output 3"
model li1 "${plain[@]}"
model lg1 "${plain[@]}"
model lt1 "${plain[@]}"
model lf1 "${plain[@]}" "fault:rdfile = error"
model dk1 "${plain[@]}"
mkdir -p "$WORK/home/models/dk1/files/etc/log"
head -c 400000 /dev/zero | tr '\0' 'x' >"$WORK/home/models/dk1/files/etc/log/sktrace_big"
forget
# The file tree is copied into the state folder outside the file-size limit.
rsh dk1 -l root -n "ls /etc/log" >/dev/null 2>&1

# A victim file and folder per case, which no link may lead kestrel to.
for name in info gmon trace; do
  echo "victim $name" >"$WORK/victim_$name.txt"
  mkdir -p "$WORK/victim_$name"
done

mkdir -p "$WORK/linkinfo/gmon" && chmod 700 "$WORK/linkinfo/gmon"
ln -s "$WORK/victim_info.txt" "$WORK/linkinfo/gmon/li1_1_profile_info.txt"
mkdir -p "$WORK/linkgmon" && ln -s "$WORK/victim_gmon" "$WORK/linkgmon/gmon"
# Every name the trace folder could take in the next minutes, in the stamp's
# padded form and in its old form without leading zeros.
mkdir -p "$WORK/linktrace"
now=$(date +%s)
for ((t = now; t < now + 240; t++)); do
  read -r y mo d h mi s <<<"$(date -d "@$t" '+%Y %-m %-d %-H %-M %-S')"
  for stamp in "$((y - 1900))$(printf '%02d%02d%02d%02d%02d' $((mo - 1)) "$d" "$h" "$mi" "$s")" \
    "$((y - 1900))$((mo - 1))$d$h$mi$s"; do
    ln -sfn "$WORK/victim_trace" "$WORK/linktrace/lt1_ITR_1_${stamp}_sktrace"
  done
done

start_run plain -t 1 -F -V -P flat -T default -f lp1
start_run linkinfo -t 1 -F -V -P flat -f li1
start_run linkgmon -t 1 -F -V -P flat -f lg1
start_run linktrace -t 1 -F -V -T default -f lt1
start_run failcopy -t 1 -F -V -P flat -T default -f lf1
# A full disk: copies beyond 200 KiB cannot be written (the limit's signal
# ignored, so a write fails as on a full disk); the report goes through a pipe.
mkdir -p "$WORK/diskfull"
(cd "$WORK/diskfull" && (ulimit -f 200 && trap '' XFSZ && exec "$KESTREL_BIN" -t 1 -F -V -T default -f dk1) 2>err |
  cat >out; echo "${PIPESTATUS[0]}" >rc) &
wait

mode() { stat -c %a "$1"; }
untouched() { [ "$(cat "$WORK/victim_$1.txt")" = "victim $1" ] && [ -z "$(ls -A "$WORK/victim_$1")" ]; }

# ---------------------------------------------------------------- modes
check "plain: status 0" [ "$(run_status plain)" = 0 ]
check "plain: gmon/ is 0700 under umask 000" [ "$(mode "$WORK/plain/gmon")" = 700 ]
check "plain: gmon/ holds the information file and a copy" [ "$(ls "$WORK/plain/gmon" | wc -l)" -eq 2 ]
check "plain: every file in gmon/ is 0600" [ -z "$(find "$WORK/plain/gmon" -type f ! -perm 600)" ]
trace=$(ls -d "$WORK"/plain/lp1_ITR_1_*_sktrace)
check "plain: the trace folder is 0700" [ "$(mode "$trace")" = 700 ]
check "plain: the trace folder holds the log and a copy, each 0600" bash -c \
  "[ \$(ls '$trace' | wc -l) -eq 2 ] && [ -z \"\$(find '$trace' -type f ! -perm 600)\" ]"
check "plain: saved" grep -q 'successfully saved' "$WORK/plain/err"
check "plain: no listing text in the report" none 'filler line' <"$WORK/plain/out"

# ---------------------------------------------------------------- planted links
check "linkinfo: status 0" [ "$(run_status linkinfo)" = 0 ]
check "linkinfo: the link's target is untouched" untouched info
info="$WORK/linkinfo/gmon/li1_1_profile_info.txt"
check "linkinfo: the information file is a file of its own, 0600" \
  bash -c "[ ! -L '$info' ] && [ -f '$info' ] && [ \$(stat -c %a '$info') = 600 ]"
check "linkinfo: the information file holds the capture" grep -q 'Capturing profiles: flat on li1' "$info"

check "linkgmon: status 0" [ "$(run_status linkgmon)" = 0 ]
check "linkgmon: nothing written where the link points" untouched gmon
check "linkgmon: the link is left as it was" [ -L "$WORK/linkgmon/gmon" ]
check "linkgmon: told on standard error" \
  grep -q 'WARNING: Profiles are not saved: ".*gmon" is a symbolic link' "$WORK/linkgmon/err"
check "linkgmon: told in the error log" grep -q 'Profiles are not saved' "$WORK/linkgmon/out"
check "linkgmon: the profiler is never started, nothing copied" none 'prof |rdfile /gmon' <<<"$(remotes lg1)"

check "linktrace: status 0" [ "$(run_status linktrace)" = 0 ]
check "linktrace: nothing written where the links point" untouched trace
check "linktrace: told on standard error" \
  grep -q 'WARNING: Trace data of lt1 for iteration 1 are not saved: .* is a symbolic link' "$WORK/linktrace/err"
check "linktrace: never said to be saved" none 'successfully saved' <"$WORK/linktrace/err"

# ---------------------------------------------------------------- failed copies
check "failcopy: status 0" [ "$(run_status failcopy)" = 0 ]
check "failcopy: gmon/ holds only the information file" \
  [ "$(ls "$WORK/failcopy/gmon")" = lf1_1_profile_info.txt ]
check "failcopy: no empty file beside the report" [ -z "$(find "$WORK/failcopy" -type f -empty)" ]
check "failcopy: the profile copy told as failed" \
  grep -q 'WARNING: Copy to .*gmon/lf1_[0-9]*_1_gmon\.1\.flat failed: the command failed' "$WORK/failcopy/err"
# (the client's own error text may come between the progress words)
check "failcopy: progress says Failed, not Done" bash -c "grep -q 'Failed!\$' '$WORK/failcopy/err' &&
  ! grep -q 'gmon.1.flat...Done!' '$WORK/failcopy/err'"
check "failcopy: the profile stays on the controller" none 'rm /gmon\.1' <<<"$(remotes lf1)"
check "failcopy: trace data not said to be saved" none 'successfully saved' <"$WORK/failcopy/err"
check "failcopy: trace copies told as failed" \
  grep -q "WARNING: Trace data of lf1 for iteration 1 saved in '.*' with 1 failed copy" "$WORK/failcopy/err"

check "diskfull: status 0" [ "$(run_status diskfull)" = 0 ]
folder=$(ls -d "$WORK"/diskfull/dk1_ITR_1_*_sktrace)
check "diskfull: the big copy told as failed" \
  grep -q 'WARNING: Copy to .*dk1_1_sktrace_big failed: cannot write .*File too large' "$WORK/diskfull/err"
check "diskfull: no part of it left" [ ! -e "$folder/dk1_1_sktrace_big" ]
check "diskfull: the small copy saved" [ -s "$folder/dk1_1_sktrace_kestrel" ]
check "diskfull: never said to be saved" none 'successfully saved' <"$WORK/diskfull/err"
check "diskfull: the failure in the error log" grep -q 'dk1_1_sktrace_big failed' "$WORK/diskfull/out"
finish
