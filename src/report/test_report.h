// A small report in the grammar kestrel writes, shared by the reader's tests.
#pragma once

#include <string>

namespace report_test {

// Two iterations of one controller (c1) and the host (h1): markers, an
// excluded and a killed command, a file dump with its Begin stamps, the
// split stats report, date lines, the error log with a slow command, and
// the execution statistics.
inline std::string sample_report() {
  return R"(*------------- Kestrel v7.38 -------------*
APP_NAME,            default,    ""
CONFIG_ONLY,         default,    "FALSE"
FILER_TARGETS,       set,        "c1"
ITERATIONS,          set,        "2"
CMD_TIMEOUT,         default,    "70"

SOURCE_HOST_NAME,    h1
SOURCE_HOST_OS,      Windows_NT
COMMAND_LINE,       -i 2 -f c1 

SAMPLES,            12
SAMPLE_INTERVAL,    10

FILEROS,	c1,	MERIX7.3.5
=-=-=-=-=-= BEGIN Iteration 1 =-=-=-=-=-= Mon Dec 07 18:20:01 GMT 2026
KESTREL_EPOCH: 1796660401
=-=-=-=-=-= PERF h1 PRESTATS =-=-=-=-=-= date
Mon Dec 07 18:20:01 GMT 2026
=-=-=-=-=-= BEGIN PRESTATS =-=-=-=-=-= c1
=-=-=-=-=-= CONFIG c1 PRESTATS =-=-=-=-=-= sysconfig -a
Release 7.3.5
  slot 0: system board

EXE-TIME of: sysconfig -a : 3 seconds
KESTREL_EPOCH: 1796660404

=-=-=-=-=-= CONFIG c1 PRESTATS =-=-=-=-=-= snap list
Excluded: rsh c1 "snap list"

EXE-TIME of: snap list : 0 seconds
KESTREL_EPOCH: 1796660404

=-=-=-=-=-= PERF c1 PRESTATS =-=-=-=-=-= stats start -I kestrel_stats_1796660404

EXE-TIME of: stats start -I kestrel_stats_1796660404 : 0 seconds
KESTREL_EPOCH: 1796660404

=-=-=-=-=-= END PRESTATS =-=-=-=-=-= c1
=-=-=-=-=-= BEGIN PRESTATS =-=-=-=-=-= h1
=-=-=-=-=-= CONFIG h1 PRESTATS =-=-=-=-=-= arp -a
partial output
Killing process tree at PID: 4242...

EXE-TIME of: arp -a : 70 seconds
KESTREL_EPOCH: 1796660474

=-=-=-=-=-= END PRESTATS =-=-=-=-=-= h1
=-=-=-=-=-= BEGIN POSTSTATS =-=-=-=-=-= c1

KESTREL_EPOCH: 1796660600

=-=-=-=-=-= PERF c1 POSTSTATS =-=-=-=-=-= stats stop -I kestrel_vol
TIME: Mon Dec 07 18:23:20 GMT 2026
TIME_DELTA: 03:16 (196s)
volume:vol0:total_ops:62370
volume:vol0:read_ops:63826

KESTREL_EPOCH: 1796660600

=-=-=-=-=-= PERF c1 POSTSTATS =-=-=-=-=-= stats stop -I kestrel_nfs
TIME: Mon Dec 07 18:23:20 GMT 2026
TIME_DELTA: 03:16 (196s)
nfsv3:nfs:nfsv3_ops:2497
=-=-=-=-=-= PERF c1 POSTSTATS =-=-=-=-=-= df

EXE-TIME of: df : 0 seconds
KESTREL_EPOCH: 1796660601

=-=-=-=-=-= PERF c1 POSTSTATS =-=-=-=-=-= sysstat.out
Begin: Mon Dec 07 18:20:05 GMT 2026
       CPU       NFS
       11%      1176
       28%      4387
       93%      2598
Begin: Mon Dec 07 18:22:05 GMT 2026

EXE-TIME of: type "C:\Temp\kestrel\1\c1\sysstat.out" : 0 seconds
KESTREL_EPOCH: 1796660601


=-=-=-=-=-= END POSTSTATS =-=-=-=-=-= c1
=-=-=-=-=-= PERF h1 POSTSTATS =-=-=-=-=-= date
Mon Dec 07 18:23:21 GMT 2026
=-=-=-=-=-= END Iteration 1 =-=-=-=-=-= Mon Dec 07 18:23:21 GMT 2026
KESTREL_EPOCH: 1796660601
=-=-=-=-=-= BEGIN Iteration 2 =-=-=-=-=-= Mon Dec 07 18:23:31 GMT 2026
KESTREL_EPOCH: 1796660611
=-=-=-=-=-= BEGIN PRESTATS =-=-=-=-=-= c1
=-=-=-=-=-= PERF c1 PRESTATS =-=-=-=-=-= ifstat -a
e0a: 12 packets

EXE-TIME of: ifstat -a : 61 seconds
KESTREL_EPOCH: 1796660672

=-=-=-=-=-= PERF c1 PRESTATS =-=-=-=-=-= uptime

EXE-TIME of: uptime : 0 seconds
KESTREL_EPOCH: 1796660672

=-=-=-=-=-= END PRESTATS =-=-=-=-=-= c1
=-=-=-=-=-= END Iteration 2 =-=-=-=-=-= Mon Dec 07 18:25:00 GMT 2026
KESTREL_EPOCH: 1796660700
=-=-=-=-=-= CONFIG h1 POSTSTATS =-=-=-=-=-= ERROR LOG
Mon Dec 07 18:20:01 GMT 2026 : tmp env var set to "C:\Temp"
Mon Dec 07 18:25:00 GMT 2026 : === Report of Commands that took longer than 60 seconds to execute ===
Mon Dec 07 18:25:00 GMT 2026 : Host		Iteration		Total_Time		Command
Mon Dec 07 18:25:00 GMT 2026 : h1		1		70s		arp -a
Mon Dec 07 18:25:00 GMT 2026 : c1		2		61s		ifstat -a
Mon Dec 07 18:25:00 GMT 2026 : === End Command Report ===
=-=-= Kestrel Execution Statistics -=-=-=-=
  Total Running Time: 299 seconds
)";
}

}  // namespace report_test
