#!/usr/bin/env bash
# Ten controllers with every sampler: 82 workers, more than a single wait of
# the platform can take. Every worker is waited for within the one deadline,
# every file reaches the report under its own controller, and nothing is
# left running.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/controller_lib.sh"
source "$(dirname "$0")/samplers_lib.sh"
export CTLSIM_HANG_LIMIT=600

names=()
for i in 1 2 3 4 5 6 7 8 9 10; do
  model "m$i" "vzones ="
  names+=("m$i")
done
forget
(cd "$WORK" && timeout 400 "$KESTREL_BIN" -t 1 -V -f "$(IFS=,; echo "${names[*]}")" >out 2>err)
rc=$?
check "status 0" [ "$rc" -eq 0 ]
check "82 workers" grep -q ' : Itr: 1 Waiting on the completion of 82 threads\.\.\.$' "$WORK/out"
check "the wait did not run out" none WARNING <"$WORK/err"

expected="sysstat.out sysstatM.out protocol_stats.out domain_stats.out lun_stats.out vifstat_vif0.out vifstat_vif1.out statit.out "
for name in "${names[@]}"; do
  check "$name: every sampler file, its own only" \
    [ "$(dumped_files . "$name" | grep -vx stats.out | tr '\n' ' ')" = "$expected" ]
  check "$name: sysstat complete" [ "$(sysstat_rows "$(sampler_file . "$name" sysstat.out)")" -eq 58 ]
  check "$name: statit reports" grep -q "^Hostname: $name " <<<"$(sampler_file . "$name" statit.out)"
done

log=$(sed -n '/ERROR LOG$/,$p' "$WORK/out")
waiting=$(sed -nE "s/^($stamp_re) : Itr: 1 Waiting on the completion of [0-9]+ threads\.\.\.$/\1/p" <<<"$log")
woke=$(sed -nE "s/^($stamp_re) : Itr: 1 Main thread woke!$/\1/p" <<<"$log")
waited=$(($(stamp_seconds "x: $woke") - $(stamp_seconds "x: $waiting")))
echo "the wait took $waited seconds"
check "the wait ended within 1.5 x the sampling time" within "$waited" 55 91
check "no client left running" all_ended "${names[@]}"
check "run folder removed" temp_root_is_empty
finish
