// The poststats catalogue: a few configuration snapshots, the second counter
// snapshots, the stops of the per-object stats instances and log extracts.
#include "phases/catalogue.h"

namespace phases {
namespace catalogue {

namespace {

// The stop of a per-object instance names the object too on these releases
// ("stats stop -I kestrel_vol volume") and only the instance on the others.
constexpr ReleaseSet kOldFormStops = release_range(k7_0, k7_0_5) | releases({k7_1, k7_1_1, k7_2});
constexpr ReleaseSet kNewFormStops = all_but(kStatsReleases, kOldFormStops);

// Old-form releases whose priority queue instance is stopped.
constexpr ReleaseSet kOldFormPriorityStop =
    release_range(k7_0_2, k7_0_5) | releases({k7_1, k7_1_1, k7_2});

Catalogue build_poststats() {
  Catalogue c;
  c.phase_word = "POSTSTATS";
  c.safe_volume_commands = {"qtree stats "};
  c.groups = {
      // CONFIG common rows.
      group(kConfig, kRun, kUnlessModeGiven, {},
            {{kEveryRelease, {"df -r", "storage show disk -a", "df", "df -i"}}}),
      group(kConfig, kRun, kNoOptionGate, {kReplisync},
            {{kEveryRelease, {"rdfile /etc/log/replisync", "replisync status -l"}}}),
      group(kConfig, kRun, kNoOptionGate, {kBackstow}, {{kEveryRelease, {"backstow status "}}}),

      // CONFIG release block.
      group(
          kConfig, kRun, kUnlessModeGiven, {},
          {{releases({k6_5, k6_5_6}), {"quota"}},
           {release_range(k7_0, k7_0_3) | release_bit(k7_1), {"quota status", "df -A -h"}},
           {release_range(k7_0_4, k7_0_6) | releases({k7_1_1, k7_1_2}) |
                release_range(k7_2, k7_2_2),
            {"quota status", "aggr show_space", "df -A -h"}},
           {releases({k7_0_7, k7_1_3}) | release_range(k7_2_3, k10_0),
            {"snap list -n -A", "snap status -A", "df -A -h", "quota status", "aggr show_space"}}}),
      group(kConfig, kRun, kNoOptionGate, {kFcp}, {{kFcpReleases, {"fcp status"}}}),
      group(kConfig, kRun, kNoOptionGate, {kIscsi},
            {{kIscsiReleases, {"iscsi session show -v", "iscsi connection show -v"}},
             {kIswtReleases,
              {"iswt connection show -v iswtb", "iswt session show -v iswta",
               "iswt connection show -v iswta", "iswt session show -v iswtb"}}}),

      // PERF under -y.
      group(kPerf, kRun, kCriticalOnly, {},
            {{kEveryRelease,
              {"fsys scan status", "fsys scan status -A", "fsys_susp -r", "ps -s", "fsys_susp -w",
               "ps"}}}),

      // PERF common rows.
      group(kPerf, kRun, kUnlessModeGiven, {},
            {{kEveryRelease,
              {"raid_config -r", "mbstat", "backup status", "netstat -s", "fsys_susp -r",
               "netstat -i", "replisync status -l", "ps -s", "httpstat -t", "fsys_susp -w",
               "vol scrub status -v", "ps", "raid_config -x", "ifstat -a -v",
               "storage stats tape"}}}),
      group(kPerf, kRun, kNoOptionGate, {kCifs},
            {{kEveryRelease,
              {"vscan", "nfs_hist -t queue", "cifs sessions -t -c", "cifs stat -c", "cifs top",
               "smb_hist", "cifs sessions"}}}),
      group(kPerf, kRun, kUnlessZMode, {},
            {{kEveryRelease,
              {"mem_stats -e", "rdfile /etc/log/backup", "rdfile /etc/messages",
               "rdfile /etc/log/ems", "mem_stats"}}}),
      group(kPerf, kPerfList, kNoOptionGate, {kZonepack | kCifs},
            {{kEveryRelease,
              {"vzone run VZNAME cifs sessions -t -c", "vzone run VZNAME cifs top",
               "vzone run VZNAME cifs stat -c", "vzone run VZNAME vscan",
               "vzone run VZNAME cifs sessions", "vzone run VZNAME nfs_hist -t queue"}}}),
      group(kPerf, kRun, kNoOptionGate, {kNfsOnly},
            {{kEveryRelease, {"nfsstat -d", "fsys_susp -w", "ifstat -a -v   ", "nfs_hist"}}}),
      group(kPerf, kPerfList, kNoOptionGate, {kZonepack, kFcp | kIscsi},
            {{kEveryRelease, {"vzone run VZNAME lun stats -o"}}}),
      group(kPerf, kRun, kNoOptionGate, {0, kFcp | kIscsi},
            {{kEveryRelease, {"lun stats -o", "lun hist"}}}),
      group(kPerf, kPerfList, kNoOptionGate, {kZonepack | kNfs},
            {{kEveryRelease, {"vzone run VZNAME nfsstat -l", "vzone run VZNAME nfsstat -d"}}}),
      group(kPerf, kRun, kNoOptionGate, {kIscsi}, {{kEveryRelease, {"iscsi stats"}}}),
      group(kPerf, kRun, kNoOptionGate, {kNfs}, {{kEveryRelease, {"nfsstat -d", "nfs_hist"}}}),
      group(kPerf, kRun, kNoOptionGate, {kCluster},
            {{kEveryRelease,
              {"cf monitor all", "ic stats performance", "cf status", "ic stats error -v",
               "cf partner"}}}),

      // PERF release block.
      group(kPerf, kRun, kUnlessModeGiven, {},
            {{releases({k6_5}), {"netstat -na", "fsys scan status"}},
             {releases({k6_5_6}), {"vol media_scrub status -v", "fsys scan status", "netstat -na"}},
             {releases({k7_0, k7_0_1}),
              {"netstat -na", "reallocate status -v", "fsys cpstats", "farstash stats -S -c"}},
             {release_range(k7_0_2, k7_0_4) | release_bit(k7_1),
              {"vol media_scrub status -v", "reallocate status -v", "fsys cpstats",
               "farstash stats -S -c", "netstat -na", "fsys scan status", "fsys scan status -A"}},
             {release_range(k7_0_5, k7_0_7) | release_range(k7_1_1, k7_1_3),
              {"fsys scan status -A", "vol media_scrub status -v", "farstash stats -S -c",
               "reallocate status -v", "rshstat -t", "fsys cpstats", "netstat -na",
               "fsys scan status"}},
             {releases({k7_2}),
              {"fsys scan status -A", "vol media_scrub status -v", "farstash stats -S -c",
               "sasadmin dev_stats", "fsys bufstats", "reallocate status -v", "netstat -na",
               "fsys cpstats", "fsysaffinity_stats", "fsys scan status", "export_stats -p -q -a"}},
             {release_range(k7_2_1, k7_2_3),
              {"fsys scan status -A", "netstat -na", "export_stats -p -q -a", "fsys scan status",
               "fsys bufstats", "fsys cpstats", "farstash stats -S -c", "sasadmin dev_stats",
               "fsysaffinity_stats", "vol media_scrub status -v", "rshstat -t",
               "reallocate status -v"}},
             {releases({k7_3}),
              {"toe status", "fsys cpstats", "rshstat -t", "netstat -anM", "fsysaffinity_stats",
               "fsys scan status", "farstash stats -S -c", "reallocate status -v",
               "fsys scan status -A", "sasadmin dev_stats", "export_stats -p -q -a",
               "fsys bufstats", "vol media_scrub status -v"}},
             {releases({k7_3_1}),
              {"toe status", "netstat -anM", "stats show hostadapter", "vol media_scrub status -v",
               "rshstat -t", "fsys bufstats", "ndmpd probe", "fsys scan status",
               "fsys scan status -A", "fsysaffinity_stats", "fsys cpstats", "reallocate status -v",
               "export_stats -p -q -a", "farstash stats -S -c", "ndmpd status",
               "sasadmin dev_stats"}},
             {releases({k7_3_2, k7_3_5, k8_0, k8_0_2, k8_1, k8_1_1, k10_0}),
              {"toe status", "fsysaffinity_stats", "ndmpd probe", "reallocate status -v",
               "stats show hostadapter", "farstash stats -S -c", "netstat -anM",
               "sasadmin dev_stats", "rshstat -t", "fsys bufstats", "ndmpd status",
               "fsys scan status", "fsys cpstats", "vol media_scrub status -v", "ifinfo -a",
               "fsys scan status -A", "export_stats -p -q -a"}},
             {releases({k7_3_3}), {"netstat -BM"}},
             {releases({k8_0_1}),
              {"toe status", "fsys scan status -A", "rshstat -t", "export_stats -p -q -a",
               "stats show hostadapter", "fsys cpstats", "ndmpd probe", "ndmpd status",
               "netstat -anM", "ifinfo -a", "fsysaffinity_stats", "fsys bufstats",
               "farstash stats -S -c", "vol media_scrub status -v", "reallocate status -v",
               "fsys scan status", "netstat -BM", "sasadmin dev_stats"}}}),
      group(kPerf, kRun, kNoOptionGate, {kLegacyStats, kIscsi | kFcp},
            {{kNewFormStops, {"stats stop -I kestrel_lun", "stats stop -I kestrel_tg"}},
             {kOldFormStops, {"stats stop -I kestrel_lun lun"}}}),
      group(kPerf, kRun, kNoOptionGate, {kLegacyStats | kFcp},
            {{kNewFormStops, {"stats stop -I kestrel_fcp"}},
             {kOldFormStops, {"stats stop -I kestrel_fcp fcp"}}}),
      group(kPerf, kRun, kNoOptionGate, {0, 0, kReplisync}, {{kAllBut7_3_3, {"qtree stats"}}}),
      group(kPerf, kRun, kNoOptionGate, {kFarstash},
            {{kFarstashHistReleases, {"farstash hist -C -S"}},
             {kFrom7_0, {"nfsstat -c", "farstash stats -C"}}}),
      group(kPerf, kRun, kNoOptionGate, {kDedupe},
            {{kFrom7_2, {"dedupe stat -g", "dedupe stat -lv", "dedupe status -l"}}}),
      group(kPerf, kRun, kNoOptionGate, {kFcp}, {{kFcpStatsReleases, {"fcp stats"}}}),
      group(kPerf, kRun, kUnlessZMode, {kLegacyStats | kNfs},
            {{kNewFormStops, {"stats stop -I kestrel_nfs"}}}),
      group(kPerf, kRun, kNoOptionGate, {0, kIscsi | kFcp}, {{kFrom7_3, {"lun stats -e"}}}),
      group(kPerf, kRun, kUnlessZMode, {kLegacyStats},
            {{kQtreeStatsReleases, {"stats stop -I kestrel_qtree"}},
             {kNewFormStops,
              {"stats stop -I kestrel_nvram", "stats stop -I kestrel_disk",
               "stats stop -I kestrel_fsys", "stats stop -I kestrel_ifnet"}},
             // Here the nfsv3 instance is stopped without an NFS licence.
             {kOldFormStops,
              {"stats stop -I kestrel_nvram nvram", "stats stop -I kestrel_fsys fsys",
               "stats stop -I kestrel_disk disk", "stats stop -I kestrel_nfs nfsv3",
               "stats stop -I kestrel_ifnet ifnet"}}}),
      group(kPerf, kRun, kNoOptionGate, {kCifs | kLegacyStats},
            {{kNewFormStops, {"stats stop -I kestrel_cifs"}},
             {kOldFormStops, {"stats stop -I kestrel_cifs cifs"}}}),
      group(kPerf, kRun, kNoOptionGate, {kFarstash | kLegacyStats},
            {{all_but(kNewFormStops, kLateFarstashStats), {"stats stop -I kestrel_far"}},
             {all_but(kOldFormStops, kLateFarstashStats), {"stats stop -I kestrel_far farstash"}}}),
      group(
          kPerf, kRun, kNoOptionGate, {kLegacyStats},
          {{kNewFormStops,
            {"stats stop -I kestrel_aggr", "stats stop -I kestrel_vol", "stats stop -I kestrel_sys",
             "stats stop -I kestrel_lmem", "stats stop -I kestrel_pri", "stats stop -I kestrel_ra",
             "stats stop -I kestrel_proc"}},
           {kOldFormStops, {"stats stop -I kestrel_ra readahead"}},
           {kOldFormPriorityStop, {"stats stop -I kestrel_pri priorityqueue"}},
           {kOldFormStops,
            {"stats stop -I kestrel_aggr aggregate", "stats stop -I kestrel_proc processor",
             "stats stop -I kestrel_lmem lmem", "stats stop -I kestrel_vol volume",
             "stats stop -I kestrel_sys system"}}}),
      // The farstash instance of the older releases.
      group(kPerf, kRun, kNoOptionGate, {kFarstash | kLegacyStats},
            {{kNewFormStops & kLateFarstashStats, {"stats stop -I kestrel_far"}},
             {kOldFormStops & kLateFarstashStats, {"stats stop -I kestrel_far farstash"}}}),
      group(kPerf, kPerfList, kNoOptionGate, {kZonepack, 0, kReplisync},
            {{kAllBut7_3_3, {"vzone run VZNAME qtree stats "}}}),
      group(kPerf, kRun, kNoOptionGate, {kIscsi | kLegacyStats},
            {{kNewFormStops, {"stats stop -I kestrel_iscsi"}},
             {kOldFormStops, {"stats stop -I kestrel_iscsi iscsi"}}}),

      // After both sections under -y.
      group(
          kAfterSections, kRun, kCriticalOnly, {},
          {{kEveryRelease,
            {"stats stop -I kestrel_vol", "stats stop -I kestrel_cifs", "stats stop -I kestrel_fcp",
             "stats stop -I kestrel_iscsi", "stats stop -I kestrel_nfs"}}}),
  };
  return c;
}

}  // namespace

const Catalogue& poststats_catalogue() {
  static const Catalogue table = build_poststats();
  return table;
}

}  // namespace catalogue
}  // namespace phases
