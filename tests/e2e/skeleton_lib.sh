# The report's skeleton: the structural marker lines of the phases. Source
# after lib.sh.

# structure: the report's skeleton in order: the BEGIN/END lines, the PERF
# date headers of both phases and the ERROR LOG line (time stamps taken off).
structure() {
  markers | grep -E '^=-=-=-=-=-= (BEGIN|END) |^=-=-=-=-=-= PERF [^ ]+ (PRE|POST)STATS =-=-=-=-=-= date$|^=-=-=-=-=-= CONFIG [^ ]+ POSTSTATS =-=-=-=-=-= ERROR LOG$'
}

# check_structure DESCRIPTION EXPECTED: the skeleton is EXPECTED; on a
# mismatch the difference goes to standard error.
check_structure() {
  check "$1" [ "$(structure)" = "$2" ]
  [ "$(structure)" = "$2" ] || diff <(echo "$2") <(structure) >&2
}

# two_controller_skeleton HOST [config-only]: the skeleton of one iteration
# against sim1 (virtual controllers vz1, vz2) and old72 (vza), host HOST; a
# config-only run has no PERF date headers.
two_controller_skeleton() {
  sed "s/HOST/$1/" <<'MARKERS' | if [ "${2:-}" = config-only ]; then grep -v ' date$'; else cat; fi
=-=-=-=-=-= PERF HOST PRESTATS =-=-=-=-=-= date
=-=-=-=-=-= BEGIN PRESTATS =-=-=-=-=-= sim1
=-=-=-=-=-= END PRESTATS =-=-=-=-=-= sim1
=-=-=-=-=-= BEGIN PRESTATS =-=-=-=-=-= sim1:[VZ]:vz1
=-=-=-=-=-= END PRESTATS =-=-=-=-=-= sim1:[VZ]:vz1
=-=-=-=-=-= BEGIN PRESTATS =-=-=-=-=-= sim1:[VZ]:vz2
=-=-=-=-=-= END PRESTATS =-=-=-=-=-= sim1:[VZ]:vz2
=-=-=-=-=-= BEGIN PRESTATS =-=-=-=-=-= old72
=-=-=-=-=-= END PRESTATS =-=-=-=-=-= old72
=-=-=-=-=-= BEGIN PRESTATS =-=-=-=-=-= old72:[VZ]:vza
=-=-=-=-=-= END PRESTATS =-=-=-=-=-= old72:[VZ]:vza
=-=-=-=-=-= BEGIN PRESTATS =-=-=-=-=-= HOST
=-=-=-=-=-= END PRESTATS =-=-=-=-=-= HOST
=-=-=-=-=-= BEGIN POSTSTATS =-=-=-=-=-= HOST
=-=-=-=-=-= END POSTSTATS =-=-=-=-=-= HOST
=-=-=-=-=-= BEGIN POSTSTATS =-=-=-=-=-= sim1
=-=-=-=-=-= END POSTSTATS =-=-=-=-=-= sim1
=-=-=-=-=-= BEGIN POSTSTATS =-=-=-=-=-= sim1:[VZ]:vz1
=-=-=-=-=-= END POSTSTATS =-=-=-=-=-= sim1:[VZ]:vz1
=-=-=-=-=-= BEGIN POSTSTATS =-=-=-=-=-= sim1:[VZ]:vz2
=-=-=-=-=-= END POSTSTATS =-=-=-=-=-= sim1:[VZ]:vz2
=-=-=-=-=-= BEGIN POSTSTATS =-=-=-=-=-= old72
=-=-=-=-=-= END POSTSTATS =-=-=-=-=-= old72
=-=-=-=-=-= BEGIN POSTSTATS =-=-=-=-=-= old72:[VZ]:vza
=-=-=-=-=-= END POSTSTATS =-=-=-=-=-= old72:[VZ]:vza
=-=-=-=-=-= PERF HOST POSTSTATS =-=-=-=-=-= date
=-=-=-=-=-= CONFIG HOST POSTSTATS =-=-=-=-=-= ERROR LOG
MARKERS
}
