# The test server kit: real remote-shell servers on loopback addresses whose
# user's login shell (and sshd's forced command) hands each received command
# to `ctlsim serve`. One address per simulated controller, port 22 (sshd) or
# 514 (rshd under inetd), since kestrel's client command lines carry no port.
#
# Source after tests/e2e/lib.sh. A script calls kit_setup TAG once, maps its
# addresses with kit_controller, starts the servers it needs (kit_start_sshd,
# kit_start_rsh) and runs kestrel through kit_kestrel. Everything started here
# (servers, the user, their sessions) is stopped at exit. Each script uses a
# TAG and addresses of its own, so scripts may run side by side.

KIT_SOURCE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

# The packages that provide what the kit runs (scripts/install-deps).
kit_require() {
  local missing=() tool
  for tool in /usr/sbin/sshd ssh ssh-keygen plink puttygen rsh /usr/sbin/in.rshd inetd useradd; do
    command -v "$tool" >/dev/null 2>&1 || missing+=("$tool")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "SKIP: the server kit needs ${missing[*]} (scripts/install-deps)" >&2
    exit 77
  fi
  if [ "$(id -u)" -ne 0 ]; then
    echo "SKIP: the server kit needs root (a test user, servers on privileged ports)" >&2
    exit 77
  fi
  [ -x "${CTLSIM_BIN:-}" ] || { echo "SKIP: no ctlsim at ${CTLSIM_BIN:-}" >&2; exit 77; }
}

# kit_setup TAG: the kit's folder $KIT and its user kestrel-kit-TAG, whose
# login shell is the kit's serve script and whose password is $KIT_PASSWORD.
kit_setup() {
  kit_require
  KIT_USER="kestrel-kit-$1"
  # The user's sessions must reach the kit's files.
  chmod 755 "$WORK"
  KIT="$WORK/kit"
  mkdir -p "$KIT"/{home,bin,state,models,phome/.putty,keys}
  KIT_SSHD_PID="" KIT_INETD_PID=""
  trap 'kit_stop; rm -rf "$WORK"' EXIT
  trap 'exit 143' INT TERM HUP

  cp "$KIT_SOURCE/serve" "$KIT/serve"
  printf '#!/bin/sh\nexec %s %s "$@"\n' "$KIT/serve" "$KIT" >"$KIT/shell"
  chmod 755 "$KIT/serve" "$KIT/shell"
  : >"$KIT/controllers"
  cat >"$KIT/kit.env" <<EOF
CTLSIM_BIN='$CTLSIM_BIN'
CTLSIM_HOME='$KIT'
CTLSIM_HANG_LIMIT=120
CTLSIM_TIME_SCALE=1
EOF

  kit_remove_user
  kit_retry useradd -r -M -d "$KIT/home" -s "$KIT/shell" "$KIT_USER" ||
    { echo "cannot create the kit user $KIT_USER" >&2; exit 1; }
  KIT_PASSWORD="kit pw $RANDOM$RANDOM"
  kit_retry kit_set_password ||
    { echo "cannot set the kit user's password" >&2; exit 1; }
  # rshd trusts root on this machine (pam_rhosts).
  printf 'localhost root\n127.0.0.1 root\n' >"$KIT/home/.rhosts"
  chown "$KIT_USER" "$KIT/home/.rhosts" "$KIT/state"
  chmod 600 "$KIT/home/.rhosts"
}

# kit_retry COMMAND...: the user database is locked while another script
# changes it; try again for a while.
kit_retry() {
  local try
  for try in $(seq 20); do
    "$@" </dev/null 2>/dev/null && return 0
    sleep 0.3
  done
  "$@" </dev/null
}

# A quick hash: sshd checks it on every one of a run's hundreds of logins.
kit_set_password() { printf '%s:%s\n' "$KIT_USER" "$KIT_PASSWORD" | chpasswd -c SHA512 -s 1000; }

kit_remove_user() {
  id "$KIT_USER" >/dev/null 2>&1 || return 0
  kit_end_user_processes
  kit_retry userdel "$KIT_USER" </dev/null >/dev/null 2>&1
}

# Every process of the kit user: server sessions and the serve scripts.
kit_end_user_processes() {
  local pids try
  for try in 1 2 3 4 5; do
    pids=$(ps -o pid= -u "$KIT_USER" 2>/dev/null)
    [ -z "$pids" ] && return 0
    kill -9 $pids 2>/dev/null
    sleep 0.2
  done
}

# kit_controller ADDRESS MODEL [cut N]: the server at ADDRESS answers as the
# simulator's MODEL (built-in, or a folder in $KIT/models), with a state of
# its own. "cut N" makes the server close every connection after N bytes of
# its reply.
kit_controller() {
  echo "$*" >>"$KIT/controllers"
  mkdir -p "$KIT/state/$1"
  chown "$KIT_USER" "$KIT/state/$1"
}

# kit_model NAME LINE...: a model of the simulator for kit_controller.
kit_model() {
  local name=$1
  shift
  mkdir -p "$KIT/models/$name"
  printf '%s\n' "$@" >"$KIT/models/$name/model.conf"
}

# kit_addresses: the addresses mapped so far.
kit_addresses() { awk '{ print $1 }' "$KIT/controllers"; }

# kit_listening ADDRESS PORT: a socket listens there.
kit_listening() { ss -Hltn "src $1 and sport = :$2" 2>/dev/null | grep -q .; }

kit_wait_listening() {
  local port=$1 address try
  shift
  for address in "$@"; do
    for try in $(seq 100); do
      kit_listening "$address" "$port" && break
      sleep 0.05
    done
    kit_listening "$address" "$port" || { echo "nothing listens on $address:$port" >&2; return 1; }
  done
}

# kit_start_sshd [ADDRESS...]: sshd on port 22 of the given addresses (all
# mapped addresses by default), with its own host key, configuration, pid
# file and log. Login by key ($KIT/keys/id_ed25519 for ssh, the same key as
# $KIT/keys/id_ed25519.ppk for plink) or by $KIT_PASSWORD. The clients are
# set up to know the host key: ssh through a private configuration, plink
# through the host key cache in $KIT/phome (the HOME of every run).
kit_start_sshd() {
  local addresses=("$@") address
  [ ${#addresses[@]} -gt 0 ] || mapfile -t addresses < <(kit_addresses)
  ssh-keygen -q -t rsa -b 2048 -N '' -C kit-host -f "$KIT/keys/host_rsa"
  ssh-keygen -q -t ed25519 -N '' -C kit-client -f "$KIT/keys/id_ed25519"
  puttygen "$KIT/keys/id_ed25519" -O private -o "$KIT/keys/id_ed25519.ppk" >/dev/null
  cp "$KIT/keys/id_ed25519.pub" "$KIT/keys/authorized_keys"
  chmod 644 "$KIT/keys/authorized_keys"
  {
    for address in "${addresses[@]}"; do echo "ListenAddress $address:22"; done
    cat <<EOF
HostKey $KIT/keys/host_rsa
PidFile $KIT/sshd.pid
AuthorizedKeysFile $KIT/keys/authorized_keys
StrictModes no
UsePAM no
PubkeyAuthentication yes
PasswordAuthentication yes
KbdInteractiveAuthentication no
PermitRootLogin no
AllowUsers $KIT_USER
ForceCommand $KIT/serve
PermitTTY no
X11Forwarding no
AllowTcpForwarding no
AllowAgentForwarding no
PermitUserEnvironment no
MaxStartups 100:30:200
LoginGraceTime 20
LogLevel VERBOSE
EOF
  } >"$KIT/sshd_config"
  # sshd's privilege separation folder, made by its service script at boot.
  mkdir -p /run/sshd
  /usr/sbin/sshd -f "$KIT/sshd_config" -E "$KIT/sshd.log" || { echo "sshd did not start" >&2; exit 1; }
  kit_wait_listening 22 "${addresses[@]}" || exit 1
  KIT_SSHD_PID=$(cat "$KIT/sshd.pid")

  # ssh: the machine's own client with a private configuration (OpenSSH
  # reads ~/.ssh of the passwd entry, not of HOME).
  cat >"$KIT/ssh_config" <<EOF
Host *
  UserKnownHostsFile $KIT/known_hosts
  GlobalKnownHostsFile /dev/null
  StrictHostKeyChecking yes
  IdentitiesOnly yes
  IdentityAgent none
  ConnectTimeout 10
EOF
  printf '#!/bin/sh\nexec %s -F %s "$@"\n' "$(command -v ssh)" "$KIT/ssh_config" >"$KIT/bin/ssh"
  chmod 755 "$KIT/bin/ssh"
  local key
  key=$(cut -d' ' -f1-2 "$KIT/keys/host_rsa.pub")
  for address in "${addresses[@]}"; do
    echo "$address $key" >>"$KIT/known_hosts"
    echo "rsa2@22:$address $(kit_putty_rsa_key "$KIT/keys/host_rsa.pub")" >>"$KIT/phome/.putty/sshhostkeys"
  done
}

# kit_putty_rsa_key PUBFILE: an OpenSSH RSA public key as PuTTY's host key
# cache writes it: 0xEXPONENT,0xMODULUS in hex without leading zeros.
kit_putty_rsa_key() {
  local hex pos=0 len i fields=()
  hex=$(cut -d' ' -f2 "$1" | base64 -d | od -An -v -tx1 | tr -d ' \n')
  for i in 1 2 3; do
    len=$((16#${hex:pos:8}))
    pos=$((pos + 8))
    fields+=("${hex:pos:len*2}")
    pos=$((pos + len * 2))
  done
  printf '0x%s,0x%s' "$(sed 's/^0*//' <<<"${fields[1]}")" "$(sed 's/^0*//' <<<"${fields[2]}")"
}

# kit_start_rsh [ADDRESS...]: rshd (run by inetd, with a configuration of its
# own) on port 514 of the given addresses. rshd trusts root through the kit
# user's .rhosts and runs the serve script as the login shell.
kit_start_rsh() {
  local addresses=("$@") address
  [ ${#addresses[@]} -gt 0 ] || mapfile -t addresses < <(kit_addresses)
  for address in "${addresses[@]}"; do
    echo "$address:shell stream tcp nowait.100000 root /usr/sbin/in.rshd in.rshd"
  done >>"$KIT/inetd.conf"
  kit_start_inetd 514 "${addresses[@]}"
}

# kit_start_hung_greeting ADDRESS: a server on ADDRESS:22 that sends an SSH
# greeting and then never says anything more (it ends when the client
# closes the connection).
kit_start_hung_greeting() {
  printf '#!/bin/sh\nprintf "SSH-2.0-OpenSSH_9.2\\r\\n"\nexec cat >/dev/null\n' >"$KIT/greet_and_hang"
  chmod 755 "$KIT/greet_and_hang"
  echo "$1:ssh stream tcp nowait.100000 $KIT_USER $KIT/greet_and_hang greet_and_hang" >>"$KIT/inetd.conf"
  kit_start_inetd 22 "$1"
}

# inetd in the foreground on the kit's configuration; one per script.
kit_start_inetd() {
  local port=$1
  shift
  [ -z "$KIT_INETD_PID" ] || { echo "kit: inetd already started" >&2; exit 1; }
  # inetd writes a pid file of its own; keep one that was there before.
  KIT_INETD_PIDFILE_BEFORE=$(cat /run/inetd.pid 2>/dev/null)
  # inetd stops a service that takes more than -R connections a minute.
  inetd -i -R 100000 "$KIT/inetd.conf" >"$KIT/inetd.log" 2>&1 &
  KIT_INETD_PID=$!
  kit_wait_listening "$port" "$@" || exit 1
}

kit_stop() {
  # KIT_KEEP=DIR keeps a copy of everything for a look afterwards.
  [ -n "${KIT_KEEP:-}" ] && mkdir -p "$KIT_KEEP" && cp -a "$WORK/." "$KIT_KEEP/" 2>/dev/null
  [ -n "${KIT_SSHD_PID:-}" ] && kill "$KIT_SSHD_PID" 2>/dev/null
  if [ -n "${KIT_INETD_PID:-}" ]; then
    kill "$KIT_INETD_PID" 2>/dev/null
    wait "$KIT_INETD_PID" 2>/dev/null
    if [ "$(cat /run/inetd.pid 2>/dev/null)" = "$KIT_INETD_PID" ]; then
      if [ -n "$KIT_INETD_PIDFILE_BEFORE" ]; then
        echo "$KIT_INETD_PIDFILE_BEFORE" >/run/inetd.pid
      else
        rm -f /run/inetd.pid
      fi
    fi
  fi
  [ -n "${KIT_USER:-}" ] && kit_remove_user
  KIT_SSHD_PID="" KIT_INETD_PID=""
}

# kit_kestrel RUN ARGS...: kestrel in $WORK/RUN through the real clients (the
# machine's rsh and plink, ssh with the kit's configuration), in the
# background; report $WORK/RUN/out, diagnostics $WORK/RUN/err, status
# $WORK/RUN/rc.
kit_kestrel() {
  local name=$1
  shift
  mkdir -p "$WORK/$name"
  (cd "$WORK/$name" && PATH="$KIT/bin:$PATH" HOME="$KIT/phome" "$KESTREL_BIN" "$@" >out 2>err
  echo $? >rc) &
}

# sim_kestrel RUN ARGS...: the same run against the simulator's own client
# shapes (ctlsim installed as the clients, first on PATH).
sim_kestrel() {
  local name=$1
  shift
  [ -d "$WORK/simbin" ] || "$CTLSIM_BIN" install "$WORK/simbin" >/dev/null
  mkdir -p "$WORK/$name"
  (cd "$WORK/$name" && PATH="$WORK/simbin:$PATH" CTLSIM_HOME="$KIT" \
    CTLSIM_STATE="$WORK/$name/simstate" CTLSIM_HANG_LIMIT=120 "$KESTREL_BIN" "$@" >out 2>err
  echo $? >rc) &
}

# kit_log ADDRESS: the commands the server at ADDRESS handed to the
# simulator: CLIENT, STATUS, the command, the arguments; tab-separated.
kit_log() {
  local model
  model=$(awk -v a="$1" '$1 == a { print $2; exit }' "$KIT/controllers")
  cut -f3- "$KIT/state/$1/$model/invocations.log" 2>/dev/null
}

# kit_remotes ADDRESS: just the commands, in order.
kit_remotes() { kit_log "$1" | cut -f3; }

# kit_leftovers ADDRESS...: processes still running that talk to one of the
# addresses (clients), or that the kit user runs (sessions), sshd's and
# inetd's listeners aside.
kit_leftovers() {
  local address
  ps -eo pid=,stat=,user:32=,args= | while read -r pid stat user args; do
    # An ended process waiting for its parent to collect it runs nothing.
    [ "${stat:0:1}" = Z ] && continue
    [ "$pid" = "${KIT_SSHD_PID:-x}" ] && continue
    [ "$pid" = "${KIT_INETD_PID:-x}" ] && continue
    if [ "$user" = "$KIT_USER" ]; then
      echo "$pid $user $args"
      continue
    fi
    for address in "$@"; do
      case " $args " in *" $address "* | *"@$address "*) echo "$pid $user $args" ;; esac
    done
  done
}

# kit_markers RUN: the report's marker lines, time stamps off, with each
# kit address written as the model it stands for.
kit_markers() {
  local sed_script
  sed_script=$(awk '{ gsub(/\./, "\\.", $1); printf "s/%s([^0-9]|$)/%s\\1/g;", $1, $2 }' "$KIT/controllers")
  grep -a -E '^=-=-=-=-=-= ' "$WORK/$1/out" |
    sed -E 's/ [A-Z][a-z]{2} [A-Z][a-z]{2} [0-9]{2} [0-9:]{8} GMT [0-9]{4}$/ <time>/' |
    sed -E "$sed_script"
}

# section RUN MARKER: the report lines after the marker line, up to the
# section's EXE-TIME line.
section() {
  awk -v m="$2" 'on && /^EXE-TIME of: / { exit } on { print } $0 == m { on = 1 }' "$WORK/$1/out"
}

# wait_runs RUN...: waits for the background runs to end.
wait_runs() {
  local name try
  for name in "$@"; do
    for try in $(seq 1200); do
      [ -s "$WORK/$name/rc" ] && break
      sleep 0.5
    done
  done
}

# kit_forget: every address starts again with a fresh controller and log.
kit_forget() {
  local address
  for address in $(kit_addresses); do
    rm -rf "${KIT:?}/state/$address"
    mkdir -p "$KIT/state/$address"
    chown "$KIT_USER" "$KIT/state/$address"
  done
}

# stable: statistics instance names made the same in every run.
stable() { sed -E 's/kestrel_stats_[0-9]+/kestrel_stats_N/g'; }

# sim_remotes SIMRUN MODEL: the commands MODEL received in a sim_kestrel run.
sim_remotes() { cut -f5 "$WORK/$1/simstate/$2/invocations.log" 2>/dev/null; }

# no_leftovers ADDRESS...: nothing of kit_leftovers, or it is shown.
no_leftovers() {
  local left
  left=$(kit_leftovers "$@")
  [ -z "$left" ] && return 0
  echo "left running:" >&2
  echo "$left" >&2
  return 1
}

# same_commands ADDRESS SIMRUN MODEL: the server at ADDRESS received the
# commands that MODEL received in SIMRUN (in any order: samplers overlap);
# shows the difference otherwise.
# statit rounds stop when the sampling time is up, so a slower client may
# take fewer of them: each statit command is compared once, not counted.
once_statit() { awk '!/statit -[be] $/ || !seen[$0]++'; }

same_commands() {
  local real sim
  real=$(kit_remotes "$1" | stable | once_statit | LC_ALL=C sort)
  sim=$(sim_remotes "$2" "$3" | stable | once_statit | LC_ALL=C sort)
  [ "$real" = "$sim" ] && return 0
  diff <(echo "$real") <(echo "$sim") | head -20 >&2
  return 1
}

# same_text A B: A is not empty and equals B.
same_text() { [ -n "$1" ] && [ "$1" = "$2" ]; }

# same_as_sim RUN SIMRUN ADDRESS1 ADDRESS2: RUN, against the kit's two
# addresses, did what SIMRUN did against their models through the
# simulator's own clients.
same_as_sim() {
  local run=$1 sim=$2 a1=$3 a2=$4 address model marker title out_real out_sim
  check "$run: status 0" [ "$(cat "$WORK/$run/rc")" = 0 ]
  check "$run: the simulator run ended well too" [ "$(cat "$WORK/$sim/rc")" = 0 ]
  check "$run: no client complained" \
    bash -c "! grep -aqE '^(rsh|plink|ssh): |FATAL ERROR|Permission denied|Host key verification failed|Could not|fails! Quitting' '$WORK/$run/out' '$WORK/$run/err'"
  check "$run: marker sequence of the simulator run" \
    [ "$(kit_markers "$run" | stable)" = "$(kit_markers "$sim" | stable)" ]
  check "$run: markers present" [ "$(kit_markers "$run" | wc -l)" -gt 100 ]
  for marker in "CONFIG %s PRESTATS =-=-=-=-=-= sysconfig -av" "CONFIG %s PRESTATS =-=-=-=-=-= df" \
    "CONFIG %s PRESTATS =-=-=-=-=-= rdfile /etc/nsswitch.conf" "CONFIG %s PRESTATS =-=-=-=-=-= vif status"; do
    for address in "$a1" "$a2"; do
      model=$(awk -v a="$address" '$1 == a { print $2; exit }' "$KIT/controllers")
      title="=-=-=-=-=-= $(printf "$marker" "$address")"
      out_real=$(section "$run" "$title")
      out_sim=$(section "$sim" "=-=-=-=-=-= $(printf "$marker" "$model")")
      check "$run: output of ${title#*=-=-=-=-=-= }" same_text "$out_real" "$out_sim"
    done
  done
  for address in "$a1" "$a2"; do
    model=$(awk -v a="$address" '$1 == a { print $2; exit }' "$KIT/controllers")
    check "$run: $address answered every command" \
      [ -z "$(kit_log "$address" | cut -f2 | grep -v '^ok$')" ]
    check "$run: $address received the commands of the simulator run" \
      same_commands "$address" "$sim" "$model"
    check "$run: $address received some" [ "$(kit_remotes "$address" | wc -l)" -gt 100 ]
  done
  check "$run: no client or session left running" no_leftovers "$a1" "$a2"
}
