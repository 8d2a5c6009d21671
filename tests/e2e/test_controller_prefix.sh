#!/usr/bin/env bash
# Controller set-up: the remote-shell client and its arguments for each of the
# five forms, as the simulator received them; values that need quoting arrive
# intact; values that cannot be passed are refused before anything runs.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/controller_lib.sh"

key="$WORK/my keys/id rsa.ppk"
mkdir -p "$WORK/my keys" && : >"$key"
T=$'\t'

# first_call ARGS...: a config-only run against sim1; sets $line to the
# client and arguments of its first invocation (the reachability "version").
first_call() {
  forget
  kestrel -c "$@"
  line=$(sim_log sim1 | head -1)
}

first_call -f sim1
check "rsh form" [ "$line" = "rsh.exe${T}ok${T} version ${T}sim1${T}-l${T}root${T}-n${T} version " ]

first_call -f sim1 -S pw:
check "plink without credential" \
  [ "$line" = "plink.exe${T}ok${T} version ${T}-ssh${T}-x${T}-a${T}-batch${T}-l${T}root${T}sim1${T} version " ]

first_call -f sim1 -S pw:secret
check "plink with password" \
  [ "$line" = "plink.exe${T}ok${T} version ${T}-ssh${T}-x${T}-a${T}-batch${T}-pw${T}secret${T}-l${T}root${T}sim1${T} version " ]

first_call -f sim1 -S "kf:$key" -g
check "ssh.exe with key file" \
  [ "$line" = "ssh.exe${T}ok${T} version ${T}-o${T}BatchMode=yes${T}-2${T}-ax${T}-i${T}$key${T}-l${T}root${T}sim1${T} version " ]

first_call -f sim1 -S "kf:$key"
check "plink with key file" \
  [ "$line" = "plink.exe${T}ok${T} version ${T}-ssh${T}-x${T}-a${T}-batch${T}-i${T}$key${T}-l${T}root${T}sim1${T} version " ]
check "config-only status 0" [ "$rc" -eq 0 ]

# The ssh.exe form has two blanks after -l; the debug line shows the prefix.
forget
kestrel -c -d -f sim1 -S "kf:$key" -g
check "ssh prefix in debug" \
  grep -qF "DEBUG: Using RSH/SSH command: ssh -o BatchMode=yes -2 -ax -i '$key' -l  root sim1 " "$WORK/err"

# Interpreter characters in login and password reach the client as they are,
# and run nothing on the host.
pw='p w;touch PWNED&x|y>z`id`$HOME"q'
login='it'"'"'s me'
forget
kestrel -c -d -f sim1 -S "pw:$pw" -l "$login"
check "hostile values: status 0" [ "$rc" -eq 0 ]
line=$(sim_log sim1 | head -1)
check "hostile values arrive intact" \
  [ "$line" = "plink.exe${T}ok${T} version ${T}-ssh${T}-x${T}-a${T}-batch${T}-pw${T}$pw${T}-l${T}$login${T}sim1${T} version " ]
check "nothing ran on the host" bash -c "[ ! -e '$WORK/PWNED' ] && [ ! -e '$WORK/z' ]"
stars=$(printf '%*s' ${#pw} '' | tr ' ' '*')
check "password masked in debug" grep -qF -- "Using RSH/SSH command: plink -ssh -x -a -batch -pw '$stars' -l 'it'\''s me' sim1 " "$WORK/err"
check "password never shown" lacks "$pw" <"$WORK/err"
check "every later command has the same prefix" \
  [ "$(sim_log sim1 | cut -f1,4- | sed 's/\t[^\t]*$//' | sort -u | wc -l)" -eq 1 ]

# A full (pretend) run logs the memory statistics command with the password masked.
forget
kestrel -x -f sim1 -S "pw:$pw"
check "pretend run status 0" [ "$rc" -eq 0 ]
check "mem_stats logged masked" grep -qF -- "-pw '$stars' -l root sim1  \" mem_stats -b \"" "$WORK/out"
check "password not in report" lacks "$pw" <"$WORK/out"

# Refused before any controller is contacted: status 1, no run folder left.
forget
kestrel -c -f sim1 -l $'root\nreboot'
check "newline in login refused" [ "$rc" -eq 1 ]
check "refusal message" grep -q '^ERROR: Controller sim1: the login given with -l ' "$WORK/err"
check "nothing contacted" [ -z "$(sim_log sim1)" ]
check "no run folder after refusal" temp_root_is_empty

forget
kestrel -c -f sim1 -S "pw:it's"
check "password that quoting would expose refused" [ "$rc" -eq 1 ]
check "its message" grep -q '^ERROR: Controller sim1: the password given with -S pw: cannot be passed' "$WORK/err"
check "the password is not printed" lacks "it's" <"$WORK/err"

long=$(printf 'a%.0s' $(seq 240))
forget
kestrel -c -f sim1 -f "$long"
check "too long a prefix refused" [ "$rc" -eq 1 ]
check "length message" grep -q "^ERROR: Controller $long: the rsh command would be 256 characters long; at most 255" "$WORK/err"
check "earlier controller not contacted either" [ -z "$(sim_log sim1)" ]
check "no run folder after length refusal" temp_root_is_empty
finish
