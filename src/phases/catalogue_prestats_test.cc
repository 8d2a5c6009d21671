// The prestats catalogue checked against the command lists as the collection
// rules state them, group by group, for every release, mode and licence set,
// plus literal sequences for representative controllers.
#include <gtest/gtest.h>

#include "phases/catalogue.h"
#include "phases/catalogue_test_support.h"

namespace {

using namespace catalogue_test;

const Texts kConfigCommon = {"exportfs",
                             "fcstat device_map",
                             "snap sched",
                             "df",
                             "storage show disk -p",
                             "sysconfig -av",
                             "dns info",
                             "uptime",
                             "rdfile /etc/nsswitch.conf",
                             "rdfile /etc/dgateways",
                             "rdfile /etc/hosts.equiv",
                             "netdiag -v -b ",
                             "timezone",
                             "storage alias",
                             "printflag",
                             "snap reserve",
                             "qtree status",
                             "fcstat link_stats",
                             "vif status",
                             "vlan stat",
                             "df -h",
                             "options",
                             "environment status",
                             "ifconfig -a",
                             "storage show tape",
                             "vzone status -a",
                             "date -u",
                             "fcstat fcal_stats",
                             "rdfile /etc/exports",
                             "df -i",
                             "storage show",
                             "sysconfig -r",
                             "storage show mc",
                             "rdfile /etc/rc",
                             "rdfile /etc/hosts",
                             "license",
                             "snmp",
                             "df -r",
                             "nis info ",
                             "rdfile /etc/serialnum",
                             "routed status"};

const Texts kPerfCommon = {"netstat -x",
                           "netstat -i",
                           "hostname",
                           "netstat -m",
                           "raid_config -xz",
                           "version",
                           "ifstat -a -v",
                           "httpstat",
                           "backup status",
                           "storage stats tape zero",
                           "mbstat",
                           "netstat -rn",
                           "ifstat -a",
                           "storage stats tape",
                           "vol scrub status -v",
                           "netstat -s",
                           "ifstat -z -a   ",
                           "fsys_susp -z",
                           "ps -z",
                           "httpstat -z"};

const std::vector<std::pair<Texts, Texts>> kConfigReleaseGroup1 = {
    {{"6.5"}, {"quota"}},
    {{"6.5.6"}, {"quota", "vol status -v"}},
    {{"7.0"}, {"quota status", "aggr status -r", "df -A -h", "rdfile /etc/registry"}},
    {{"7.0.1"}, {"quota status", "rdfile /etc/registry", "df -A -h"}},
    {{"7.0.2", "7.0.3", "7.0.4", "7.0.5", "7.0.6", "7.1", "7.1.1", "7.1.2"},
     {"quota status", "rdfile /etc/registry", "vol status -v", "df -A -h", "aggr status -v"}},
    {{"7.0.7", "7.1.3"},
     {"quota status", "aggr status -v", "snap list -n", "rdfile /etc/registry", "vol status -v",
      "snap status -A", "snap list -n -A", "df -A -h", "snap status"}},
    {{"7.2", "7.2.1", "7.2.2"},
     {"quota status", "aggr status -v", "vol status -v", "rdfile /etc/registry", "df -A -h",
      "sasadmin adapter_state"}},
    {{"7.2.3", "7.3", "7.3.1", "7.3.2", "7.3.5", "8.0", "8.0.1", "8.0.2", "8.1", "8.1.1", "10.0"},
     {"quota status", "sasadmin adapter_state", "snap list -n", "snap status -A", "vol status -v",
      "aggr status -v", "snap list -n -A", "rdfile /etc/registry", "df -A -h", "snap status"}},
};

const std::vector<std::pair<Texts, Texts>> kPerfReleaseGroup1 = {
    {{"6.5"}, {"netstat -na"}},
    {{"6.5.6"}, {"vol media_scrub status -v", "netstat -na"}},
    {{"7.0", "7.0.1"}, {"netstat -na", "fsys cpstats", "farstash stats -z"}},
    {{"7.0.2", "7.0.3", "7.0.4"},
     {"vol media_scrub status -v", "fsys cpstats", "netstat -na", "farstash stats -z"}},
    {{"7.0.5", "7.0.6", "7.0.7"},
     {"vol media_scrub status -v", "rshstat -t", "fsys cpstats", "netstat -na",
      "farstash stats -z"}},
    {{"7.1"},
     {"vol media_scrub status -v", "priority show", "fsys cpstats", "priority show default -v",
      "netstat -na", "priority show volume -v", "farstash stats -z"}},
    {{"7.1.1", "7.1.2", "7.1.3"},
     {"priority show", "netstat -na", "priority show volume -v", "fsys cpstats", "rshstat -t",
      "vol media_scrub status -v", "priority show default -v", "farstash stats -z"}},
    {{"7.2"},
     {"priority show", "fsys cpstats", "netstat -na", "sasadmin dev_stats",
      "priority show volume -v", "priority show default -v", "vol media_scrub status -v",
      "export_stats -p -q -a", "farstash stats -z", "fsysaffinity_stats -z"}},
    {{"7.2.1", "7.2.2", "7.2.3"},
     {"priority show", "vol media_scrub status -v", "export_stats -p -q -a", "sasadmin dev_stats",
      "priority show volume -v", "priority show default -v", "netstat -na", "fsys cpstats",
      "rshstat -t", "farstash stats -z", "fsysaffinity_stats -z"}},
    {{"7.3"},
     {"priority show", "fsys cpstats", "export_stats -p -q -a", "netstat -anM",
      "priority show volume -v", "sasadmin dev_stats", "vol media_scrub status -v",
      "priority show default -v", "rshstat -t", "farstash stats -z", "fsysaffinity_stats -z"}},
    {{"7.3.1"},
     {"priority show", "ndmpd probe", "export_stats -p -q -a", "sasadmin dev_stats",
      "priority show volume -v", "ndmpd status", "stats show hostadapter", "netstat -anM",
      "rshstat -t", "priority show default -v", "vol media_scrub status -v", "fsys cpstats",
      "farstash stats -z", "fsysaffinity_stats -z"}},
    {{"7.3.2", "7.3.5", "8.0", "8.0.2", "8.1", "8.1.1", "10.0"},
     {"ifinfo -a", "fsys cpstats", "rshstat -t", "priority show default -v", "priority show",
      "ndmpd probe", "vol media_scrub status -v", "netstat -anM", "priority show volume -v",
      "ndmpd status", "export_stats -p -q -a", "sasadmin dev_stats", "stats show hostadapter",
      "farstash stats -z", "fsysaffinity_stats -z"}},
    {{"7.3.3"}, {"netstat -BM"}},
    {{"8.0.1"},
     {"priority show volume -v", "ndmpd status", "stats show hostadapter",
      "vol media_scrub status -v", "rshstat -t", "ifinfo -a", "ndmpd probe", "netstat -BM",
      "export_stats -p -q -a", "netstat -anM", "fsys cpstats", "priority show default -v",
      "priority show", "sasadmin dev_stats", "fsysaffinity_stats -z", "farstash stats -z"}},
};

const Texts kSevenZeroStarts = {
    "stats start -I kestrel_proc processor", "stats start -I kestrel_aggr aggregate",
    "stats start -I kestrel_vol volume",     "stats start -I kestrel_ra readahead",
    "stats start -I kestrel_sys system",     "stats start -I kestrel_lmem lmem"};

const std::vector<std::pair<Texts, Texts>> kPerfReleaseGroup12 = {
    {{"7.0", "7.0.1", "7.0.2", "7.0.3", "7.0.4", "7.0.5", "7.0.6", "7.0.7"}, kSevenZeroStarts},
    {{"7.1", "7.1.1", "7.1.2", "7.1.3", "7.2"},
     Texts{"stats start -I kestrel_pri priorityqueue prisched"} + kSevenZeroStarts},
    {{"7.2.1", "7.2.2", "7.2.3", "7.3", "7.3.1", "7.3.2", "7.3.5", "8.0", "8.0.1", "8.0.2", "8.1",
      "8.1.1", "10.0"},
     {"stats start -I kestrel_ext_cache ext_cache",
      "stats start -I kestrel_pri priorityqueue prisched", "stats stop -I kestrel_ext_cache",
      "stats start -I kestrel_ext_cache_obj ext_cache_obj", "stats start -I kestrel_proc processor",
      "stats start -I kestrel_aggr aggregate", "stats start -I kestrel_vol volume",
      "stats stop -I kestrel_ext_cache_obj", "stats start -I kestrel_sys system",
      "stats start -I kestrel_ra readahead", "stats start -I kestrel_lmem lmem"}},
};

const Texts kCriticalStarts = {"stats start -I kestrel_vol volume",
                               "stats start -I kestrel_cifs cifs", "stats start -I kestrel_fcp fcp",
                               "stats start -I kestrel_iscsi iscsi",
                               "stats start -I kestrel_nfs  nfsv3"};

const Texts kOldIscsi = {"6.5",   "6.5.6", "7.0",   "7.0.1", "7.0.2",
                         "7.0.3", "7.0.4", "7.0.5", "7.0.6", "7.0.7"};

// Steps collected while following the rules.
struct Expect {
  Steps steps;
  void title(const std::string& t) { steps.push_back(Title(t)); }
  void run(const Texts& c) {
    for (const std::string& t : c) steps.push_back(Cmd(t));
  }
  void config_list(const Texts& c) {
    for (const std::string& t : c) steps.push_back(ConfigTpl(t));
  }
  void perf_list(const Texts& c) {
    for (const std::string& t : c) steps.push_back(PerfTpl(t));
  }
};

// The prestats sequence, written out from the collection rules.
Steps expected_prestats(const core::FilerTarget& f, const core::CurrentServices& cs,
                        const core::RunOptions& o) {
  const core::ServiceFlags& s = cs.flags;
  const std::string& r = f.release;
  const bool legacy = cs.legacy_stats;
  const Texts config_all = ladder();
  const Texts perf_all = ladder() + Texts{"7.3.3"};
  const Texts stats_releases = all_but(perf_all, {"6.5", "6.5.6", "7.3.3"});
  const Texts from_7_2 = {"7.2",   "7.2.1", "7.2.2", "7.2.3", "7.3", "7.3.1", "7.3.2",
                          "7.3.5", "8.0",   "8.0.1", "8.0.2", "8.1", "8.1.1", "10.0"};
  Expect e;

  if (!o.perf_only) {
    e.title("CONFIG " + f.name + " PRESTATS");
    if (!o.mode_given) e.run(kConfigCommon);
    if (s.svc_replisync) {
      e.run({"rdfile /etc/replisync.conf", "replisync status ", "replisync status -l",
             "replisync destinations -s"});
    }
    if (s.svc_backstow) {
      e.run({"backstow status -c", "backstow destinations -s", "backstow status -s",
             "backstow status ", "backstow status -l", "backstow snap sched"});
    }
    if (s.svc_zonepack) {
      e.config_list({"rdfile VZPATH/etc/exports", "rdfile VZPATH/etc/nsswitch.conf",
                     "rdfile VZPATH/etc/hosts.equiv", "vzone run VZNAME qtree status",
                     "rdfile VZPATH/etc/cifsconfig.cfg", "rdfile VZPATH/etc/hosts",
                     "rdfile VZPATH/etc/dgateways"});
    }
    if (s.svc_cifs) {
      e.run({"rdfile /etc/usermap.cfg", "rdfile /etc/lclgroups.cfg", "rdfile /etc/cifsconfig.cfg",
             "cifs shares"});
    }
    if (s.svc_farstash) e.run({"df -L", "df -i -L", "df -h -L", "df -r -L"});
    if (s.svc_zonepack && s.svc_cifs) e.config_list({"vzone run VZNAME cifs shares"});
    if (s.svc_zonepack && (s.svc_fcp || s.svc_iscsi)) {
      e.config_list({"vzone run VZNAME lun show -v all", "vzone run VZNAME options",
                     "vzone run VZNAME igroup show", "vzone run VZNAME lun show -m"});
    }
    if (s.svc_fcp || s.svc_iscsi) {
      e.run(
          {"lun config_check -v", "lun show -v all", "lun show -m", "igroup show", "options lun"});
      if (s.svc_iscsi) {
        e.run({"iscsi nodename", "iscsi isns show", "iscsi status", "iscsi security show",
               "options iscsi"});
      }
    }
    if (s.svc_zonepack && s.svc_iscsi) {
      e.config_list({"vzone run VZNAME iscsi nodename", "vzone run VZNAME iscsi status"});
    }

    if (!o.mode_given) e.run(by_release(kConfigReleaseGroup1, r));
    if (s.svc_zonepack) {
      if (on(r, config_all)) e.config_list({"rdfile VZPATH/etc/cifsconfig_setup.cfg"});
      if (on(r, config_all)) e.config_list({"rdfile VZPATH/etc/cifsconfig_share.cfg"});
      if (on(r, all_but(config_all, {"6.5", "6.5.6"}))) {
        e.config_list({"rdfile VZPATH/etc/registry"});
      }
    }
    if (s.svc_cifs && on(r, config_all)) {
      e.run({"rdfile /etc/cifsconfig_share.cfg", "rdfile /etc/cifsconfig_setup.cfg"});
    }
    if (s.svc_farstash && on(r, all_but(config_all, {"6.5", "6.5.6"}))) e.run({"df -A -h -L"});
    if (s.svc_fcp) {
      const Texts early = {"7.0", "7.0.1", "7.0.2", "7.0.3"};
      if (on(r, all_but(config_all, early))) e.run({"fcp show cfmode"});
      for (const char* c : {"options fcp", "fcp nodename", "fcp config ", "fcp show initiator -v",
                            "fcp show adapter -v"}) {
        if (on(r, all_but(config_all, early + Texts{"7.1"}))) e.run({c});
      }
      if (on(r, config_all)) e.run({"igroup show -v"});
      if (on(r, all_but(config_all, early + Texts{"7.1"}))) e.run({"fcp status"});
    }
    if (s.svc_iscsi) {
      if (on(r, all_but(config_all, kOldIscsi))) {
        e.run({"iscsi portal show", "iscsi session show -v", "iscsi initiator show", "iscsi alias",
               "igroup show -v", "iscsi connection show -v", "iscsi tpgroup show"});
      } else if (on(r, kOldIscsi)) {
        e.run({"iswt connection show -v iswtb", "iswt session show -v iswta", "iswt interface show",
               "iscsi show initiator", "iswt connection show -v iswta", "igroup show -v",
               "iscsi show adapter", "iscsi config", "iswt session show -v iswtb"});
      }
    }
    if (s.svc_zonepack && s.svc_iscsi) {
      if (on(r, all_but(config_all, kOldIscsi))) {
        e.config_list({"vzone run VZNAME iscsi initiator show",
                       "vzone run VZNAME iscsi connection show ", "vzone run VZNAME iscsi alias",
                       "vzone run VZNAME igroup show -v"});
      } else if (on(r, kOldIscsi)) {
        e.config_list({"vzone run VZNAME iscsi show initiator", "vzone run VZNAME iscsi config",
                       "vzone run VZNAME igroup show -v", "vzone run VZNAME iscsi show adapter"});
      }
    }
    if (s.svc_zonepack && s.svc_fcp && on(r, config_all)) {
      e.config_list({"vzone run VZNAME igroup show -v"});
    }
  }

  if (!o.config_only) {
    e.title("PERF " + f.name + " PRESTATS");
    if (o.critical_only) {
      e.run({"fsys_susp -z", "ps -z"});
    } else {
      if (!o.mode_given) e.run(kPerfCommon);
      if (s.svc_cifs) {
        e.run({"cifs sessions", "vscan", "cifs stat", "nfs_hist -t queue", "cifs sessions -t -c",
               "smb_hist", "smb_hist -z", "cifs stat -z"});
      }
      if (s.svc_zonepack && s.svc_cifs) {
        e.perf_list({"vzone run VZNAME cifs sessions -t -c", "vzone run VZNAME nfs_hist -t queue",
                     "vzone run VZNAME cifs sessions", "vzone run VZNAME vscan",
                     "vzone run VZNAME cifs stat", "vzone run VZNAME cifs sessions -z",
                     "vzone run VZNAME cifs stat -z"});
      }
      if (s.nfs_only == 1) e.run({"ifstat -z -a   ", "nfsstat -z ", "fsys_susp -z", "nfs_hist -z"});
      if (s.svc_zonepack && (s.svc_fcp || s.svc_iscsi)) {
        e.perf_list({"vzone run VZNAME lun stats -o", "vzone run VZNAME lun stats -z"});
      }
      if (s.svc_fcp || s.svc_iscsi)
        e.run({"lun stats -o", "lun hist", "lun stats -z", "lun hist -z"});
      if (s.svc_zonepack && s.svc_nfs) {
        e.perf_list({"vzone run VZNAME nfsstat -l", "vzone run VZNAME nfsstat -d",
                     "vzone run VZNAME nfsstat -z"});
      }
      if (s.svc_iscsi) e.run({"iscsi stats", "iscsi stats -z"});
      if (s.svc_nfs) e.run({"nfsstat -d", "nfs_hist", "nfsstat -z ", "nfs_hist -z"});
      if (s.svc_cluster) {
        e.run({"cf monitor all", "ic stats performance", "cf status", "ic stats error -v",
               "cf partner"});
      }

      if (!o.mode_given) e.run(by_release(kPerfReleaseGroup1, r));
      if (legacy && (s.svc_iscsi || s.svc_fcp) && on(r, stats_releases)) {
        e.run({"stats start -I kestrel_lun lun ", "stats start -I kestrel_tg target"});
        if (s.svc_fcp) e.run({"stats start -I kestrel_fcp fcp"});
      }
      if (s.svc_zonepack && on(r, all_but(perf_all, {"7.3.3"}))) {
        e.perf_list({"vzone run VZNAME qtree status"});
      }
      if (s.svc_cifs && on(r, from_7_2)) e.run({"cifs sessions -s"});
      if (!s.svc_replisync && on(r, all_but(perf_all, {"7.3.3"}))) {
        e.run({"qtree stats -z", "qtree stats"});
      }
      if (s.svc_farstash && on(r, all_but(perf_all, {"6.5", "6.5.6", "7.0", "7.0.1", "7.0.2",
                                                     "7.0.3", "7.0.4", "7.3.3"}))) {
        e.run({"farstash hist -C -S", "farstash hist -z"});
      }
      if (s.svc_dedupe && on(r, from_7_2)) {
        e.run({"dedupe stat -g", "dedupe stat -lv", "dedupe status -l"});
      }
      if (s.svc_fcp &&
          on(r, all_but(perf_all, {"7.0", "7.0.1", "7.0.2", "7.0.3", "7.1", "7.3.3"}))) {
        e.run({"fcp stats", "fcp stats -z"});
      }
      if (!o.z_mode && legacy) {
        if (s.svc_nfs && on(r, stats_releases)) e.run({"stats start -I kestrel_nfs nfsv3 "});
        if (on(r, stats_releases)) {
          e.run({"stats start -I kestrel_disk disk", "stats start -I kestrel_fsys fsys ",
                 "stats start -I kestrel_ifnet ifnet ", "stats start -I kestrel_nvram nvram "});
        }
        if (on(r, {"7.0.6", "7.0.7", "7.1.3", "7.2.2", "7.2.3", "7.3", "7.3.1", "7.3.2", "7.3.5",
                   "8.0", "8.0.1", "8.0.2", "8.1", "8.1.1", "10.0"})) {
          e.run({"stats start -I kestrel_qtree qtree"});
        }
      }
      if (s.svc_cifs && legacy && on(r, stats_releases))
        e.run({"stats start -I kestrel_cifs cifs"});
      const Texts late_farstash = {"7.0",   "7.0.1", "7.0.2", "7.0.3", "7.0.4", "7.0.5",
                                   "7.0.6", "7.0.7", "7.1",   "7.1.1", "7.1.2", "7.1.3"};
      const bool farstash_start = s.svc_farstash && legacy && on(r, stats_releases);
      if (farstash_start && !on(r, late_farstash)) e.run({"stats start -I kestrel_far farstash"});
      if (legacy) e.run(by_release(kPerfReleaseGroup12, r));
      if (farstash_start && on(r, late_farstash)) e.run({"stats start -I kestrel_far farstash"});
      if (s.svc_zonepack && !s.svc_replisync && on(r, all_but(perf_all, {"7.3.3"}))) {
        e.perf_list({"vzone run VZNAME qtree stats -z"});
      }
      if (s.svc_iscsi && legacy && on(r, stats_releases)) {
        e.run({"stats start -I kestrel_iscsi iscsi"});
      }
      if (s.svc_replisync && f.vrs_rebuild) {
        for (const std::string& v : f.safe_volumes)
          e.run({"qtree stats " + v, "qtree stats -z " + v});
      }
    }
  }
  if (o.critical_only) e.run(kCriticalStarts);
  return e.steps;
}

Steps select(const core::FilerTarget& f, const core::CurrentServices& s,
             const core::RunOptions& o) {
  return phases::select_prestats_catalogue(f, s, o);
}

TEST(PrestatsCatalogue, EveryReleaseModeAndLicenceSetFollowsTheRules) {
  EXPECT_GT(check_every_case(select, expected_prestats), 5000);
}

TEST(PrestatsCatalogue, UnlicensedControllerOn731RunsTheFullDefaultSet) {
  Steps expected = {
      Title("CONFIG f1 PRESTATS"),
      Cmd("exportfs"),
      Cmd("fcstat device_map"),
      Cmd("snap sched"),
      Cmd("df"),
      Cmd("storage show disk -p"),
      Cmd("sysconfig -av"),
      Cmd("dns info"),
      Cmd("uptime"),
      Cmd("rdfile /etc/nsswitch.conf"),
      Cmd("rdfile /etc/dgateways"),
      Cmd("rdfile /etc/hosts.equiv"),
      Cmd("netdiag -v -b "),
      Cmd("timezone"),
      Cmd("storage alias"),
      Cmd("printflag"),
      Cmd("snap reserve"),
      Cmd("qtree status"),
      Cmd("fcstat link_stats"),
      Cmd("vif status"),
      Cmd("vlan stat"),
      Cmd("df -h"),
      Cmd("options"),
      Cmd("environment status"),
      Cmd("ifconfig -a"),
      Cmd("storage show tape"),
      Cmd("vzone status -a"),
      Cmd("date -u"),
      Cmd("fcstat fcal_stats"),
      Cmd("rdfile /etc/exports"),
      Cmd("df -i"),
      Cmd("storage show"),
      Cmd("sysconfig -r"),
      Cmd("storage show mc"),
      Cmd("rdfile /etc/rc"),
      Cmd("rdfile /etc/hosts"),
      Cmd("license"),
      Cmd("snmp"),
      Cmd("df -r"),
      Cmd("nis info "),
      Cmd("rdfile /etc/serialnum"),
      Cmd("routed status"),
      Cmd("quota status"),
      Cmd("sasadmin adapter_state"),
      Cmd("snap list -n"),
      Cmd("snap status -A"),
      Cmd("vol status -v"),
      Cmd("aggr status -v"),
      Cmd("snap list -n -A"),
      Cmd("rdfile /etc/registry"),
      Cmd("df -A -h"),
      Cmd("snap status"),
      Title("PERF f1 PRESTATS"),
      Cmd("netstat -x"),
      Cmd("netstat -i"),
      Cmd("hostname"),
      Cmd("netstat -m"),
      Cmd("raid_config -xz"),
      Cmd("version"),
      Cmd("ifstat -a -v"),
      Cmd("httpstat"),
      Cmd("backup status"),
      Cmd("storage stats tape zero"),
      Cmd("mbstat"),
      Cmd("netstat -rn"),
      Cmd("ifstat -a"),
      Cmd("storage stats tape"),
      Cmd("vol scrub status -v"),
      Cmd("netstat -s"),
      Cmd("ifstat -z -a   "),
      Cmd("fsys_susp -z"),
      Cmd("ps -z"),
      Cmd("httpstat -z"),
      Cmd("priority show"),
      Cmd("ndmpd probe"),
      Cmd("export_stats -p -q -a"),
      Cmd("sasadmin dev_stats"),
      Cmd("priority show volume -v"),
      Cmd("ndmpd status"),
      Cmd("stats show hostadapter"),
      Cmd("netstat -anM"),
      Cmd("rshstat -t"),
      Cmd("priority show default -v"),
      Cmd("vol media_scrub status -v"),
      Cmd("fsys cpstats"),
      Cmd("farstash stats -z"),
      Cmd("fsysaffinity_stats -z"),
      Cmd("qtree stats -z"),
      Cmd("qtree stats"),
  };
  EXPECT_TRUE(same_steps(select(filer("MERIX7.3.1"), services({}, false), {}), expected));
}

TEST(PrestatsCatalogue, CriticalOnlyRunsExactlyTheStressedSet) {
  const Steps expected = {Title("PERF f1 PRESTATS"),
                          Cmd("fsys_susp -z"),
                          Cmd("ps -z"),
                          Cmd("stats start -I kestrel_vol volume"),
                          Cmd("stats start -I kestrel_cifs cifs"),
                          Cmd("stats start -I kestrel_fcp fcp"),
                          Cmd("stats start -I kestrel_iscsi iscsi"),
                          Cmd("stats start -I kestrel_nfs  nfsv3")};
  core::RunOptions o;
  o.critical_only = true;
  o.perf_only = true;
  for (const std::string& release : releases_under_test()) {
    for (const Licences& licences : licence_sets()) {
      for (bool legacy : {false, true}) {
        Steps steps = select(filer(release, licences), services(licences, legacy), o);
        ASSERT_TRUE(same_steps(steps, expected)) << release << ", " << licences.name;
        EXPECT_EQ(count_kind(steps, Kind::kConfigTemplate) + count_kind(steps, Kind::kPerfTemplate),
                  0);
      }
    }
  }
}

TEST(PrestatsCatalogue, NfsRestrictionKeepsOnlyNfsAndUngatedReleaseRows) {
  Licences nfs{"nfs", {}, false, {}};
  nfs.flags.svc_nfs = 1;
  nfs.flags.nfs_only = 1;
  const Steps expected = {Title("CONFIG f1 PRESTATS"),
                          Title("PERF f1 PRESTATS"),
                          Cmd("ifstat -z -a   "),
                          Cmd("nfsstat -z "),
                          Cmd("fsys_susp -z"),
                          Cmd("nfs_hist -z"),
                          Cmd("nfsstat -d"),
                          Cmd("nfs_hist"),
                          Cmd("nfsstat -z "),
                          Cmd("nfs_hist -z"),
                          Cmd("qtree stats -z"),
                          Cmd("qtree stats"),
                          Cmd("stats start -I kestrel_nfs nfsv3 "),
                          Cmd("stats start -I kestrel_disk disk"),
                          Cmd("stats start -I kestrel_fsys fsys "),
                          Cmd("stats start -I kestrel_ifnet ifnet "),
                          Cmd("stats start -I kestrel_nvram nvram "),
                          Cmd("stats start -I kestrel_proc processor"),
                          Cmd("stats start -I kestrel_aggr aggregate"),
                          Cmd("stats start -I kestrel_vol volume"),
                          Cmd("stats start -I kestrel_ra readahead"),
                          Cmd("stats start -I kestrel_sys system"),
                          Cmd("stats start -I kestrel_lmem lmem")};
  EXPECT_TRUE(same_steps(select(filer("MERIX7.0.2", nfs), services(nfs, true), mode_given("NFS")),
                         expected));
}

TEST(PrestatsCatalogue, ForcedRelease733GetsNoConfigReleaseRowsAndOnlyNetstatBM) {
  const Steps expected = Steps{Title("CONFIG f1 PRESTATS")} + runs(kConfigCommon) +
                         Steps{Title("PERF f1 PRESTATS")} + runs(kPerfCommon) +
                         Steps{Cmd("netstat -BM")};
  EXPECT_TRUE(same_steps(select(filer("MERIX7.3.3"), services({}, false), {}), expected));

  // With every licence and legacy stats it differs from the unknown-release
  // controller by that one command only.
  const Licences all = licence_sets()[1];
  Steps plain = select(filer("MERIX", all), services(all, true), {});
  EXPECT_TRUE(same_steps(select(filer("MERIX7.3.3", all), services(all, true), {}),
                         plain + Steps{Cmd("netstat -BM")}));
  EXPECT_TRUE(same_steps(select(filer("MERIX7.3.3", all), services(all, true), mode_given()),
                         select(filer("MERIX", all), services(all, true), mode_given())));
}

TEST(PrestatsCatalogue, IscsiFamiliesRunIgroupShowAtTheirOwnPlace) {
  Licences iscsi{"iscsi", {}, false, {}};
  iscsi.flags.svc_iscsi = 1;
  const Steps lun_rows = runs({"lun config_check -v", "lun show -v all", "lun show -m",
                               "igroup show", "options lun", "iscsi nodename", "iscsi isns show",
                               "iscsi status", "iscsi security show", "options iscsi"});
  const Steps perf = Steps{Title("PERF f1 PRESTATS")} +
                     runs({"lun stats -o", "lun hist", "lun stats -z", "lun hist -z", "iscsi stats",
                           "iscsi stats -z", "qtree stats -z", "qtree stats"});

  Steps older =
      Steps{Title("CONFIG f1 PRESTATS")} + lun_rows +
      runs({"iswt connection show -v iswtb", "iswt session show -v iswta", "iswt interface show",
            "iscsi show initiator", "iswt connection show -v iswta", "igroup show -v",
            "iscsi show adapter", "iscsi config", "iswt session show -v iswtb"}) +
      perf;
  EXPECT_TRUE(
      same_steps(select(filer("MERIX7.0.5", iscsi), services(iscsi, false), mode_given()), older));

  Steps newer =
      Steps{Title("CONFIG f1 PRESTATS")} + lun_rows +
      runs({"iscsi portal show", "iscsi session show -v", "iscsi initiator show", "iscsi alias",
            "igroup show -v", "iscsi connection show -v", "iscsi tpgroup show"}) +
      perf;
  EXPECT_TRUE(
      same_steps(select(filer("MERIX7.1", iscsi), services(iscsi, false), mode_given()), newer));
}

TEST(PrestatsCatalogue, LegacyControllerOn702StartsItsInstancesInOrder) {
  Licences l{"mixed", {}, false, {}};
  l.flags.svc_nfs = 1;
  l.flags.svc_cifs = 1;
  l.flags.svc_fcp = 1;
  l.flags.svc_iscsi = 1;
  l.flags.svc_farstash = 1;
  const Steps expected = {
      Title("CONFIG f1 PRESTATS"),
      Cmd("rdfile /etc/usermap.cfg"),
      Cmd("rdfile /etc/lclgroups.cfg"),
      Cmd("rdfile /etc/cifsconfig.cfg"),
      Cmd("cifs shares"),
      Cmd("df -L"),
      Cmd("df -i -L"),
      Cmd("df -h -L"),
      Cmd("df -r -L"),
      Cmd("lun config_check -v"),
      Cmd("lun show -v all"),
      Cmd("lun show -m"),
      Cmd("igroup show"),
      Cmd("options lun"),
      Cmd("iscsi nodename"),
      Cmd("iscsi isns show"),
      Cmd("iscsi status"),
      Cmd("iscsi security show"),
      Cmd("options iscsi"),
      Cmd("rdfile /etc/cifsconfig_share.cfg"),
      Cmd("rdfile /etc/cifsconfig_setup.cfg"),
      Cmd("df -A -h -L"),
      Cmd("igroup show -v"),  // the FCP group's row; 7.0.2 has no other FCP command
      Cmd("iswt connection show -v iswtb"),
      Cmd("iswt session show -v iswta"),
      Cmd("iswt interface show"),
      Cmd("iscsi show initiator"),
      Cmd("iswt connection show -v iswta"),
      Cmd("igroup show -v"),
      Cmd("iscsi show adapter"),
      Cmd("iscsi config"),
      Cmd("iswt session show -v iswtb"),
      Title("PERF f1 PRESTATS"),
      Cmd("cifs sessions"),
      Cmd("vscan"),
      Cmd("cifs stat"),
      Cmd("nfs_hist -t queue"),
      Cmd("cifs sessions -t -c"),
      Cmd("smb_hist"),
      Cmd("smb_hist -z"),
      Cmd("cifs stat -z"),
      Cmd("lun stats -o"),
      Cmd("lun hist"),
      Cmd("lun stats -z"),
      Cmd("lun hist -z"),
      Cmd("iscsi stats"),
      Cmd("iscsi stats -z"),
      Cmd("nfsstat -d"),
      Cmd("nfs_hist"),
      Cmd("nfsstat -z "),
      Cmd("nfs_hist -z"),
      Cmd("stats start -I kestrel_lun lun "),
      Cmd("stats start -I kestrel_tg target"),
      Cmd("stats start -I kestrel_fcp fcp"),
      Cmd("qtree stats -z"),
      Cmd("qtree stats"),
      Cmd("stats start -I kestrel_nfs nfsv3 "),
      Cmd("stats start -I kestrel_disk disk"),
      Cmd("stats start -I kestrel_fsys fsys "),
      Cmd("stats start -I kestrel_ifnet ifnet "),
      Cmd("stats start -I kestrel_nvram nvram "),
      Cmd("stats start -I kestrel_cifs cifs"),
      Cmd("stats start -I kestrel_proc processor"),
      Cmd("stats start -I kestrel_aggr aggregate"),
      Cmd("stats start -I kestrel_vol volume"),
      Cmd("stats start -I kestrel_ra readahead"),
      Cmd("stats start -I kestrel_sys system"),
      Cmd("stats start -I kestrel_lmem lmem"),
      Cmd("stats start -I kestrel_far farstash"),
      Cmd("stats start -I kestrel_iscsi iscsi"),
  };
  EXPECT_TRUE(
      same_steps(select(filer("MERIX7.0.2", l), services(l, true), mode_given()), expected));
}

TEST(PrestatsCatalogue, FarstashStartComesAfterTheObjectStartsOnlyUpTo713) {
  Licences far{"farstash", {}, false, {}};
  far.flags.svc_farstash = 1;
  for (const char* release : {"MERIX7.0", "MERIX7.0.7", "MERIX7.1", "MERIX7.1.3"}) {
    Steps steps = select(filer(release, far), services(far, true), {});
    EXPECT_GT(run_index(steps, "stats start -I kestrel_far farstash"),
              run_index(steps, "stats start -I kestrel_lmem lmem"))
        << release;
  }
  for (const char* release : {"MERIX7.2", "MERIX7.2.1", "MERIX7.3", "MERIX10.0"}) {
    Steps steps = select(filer(release, far), services(far, true), {});
    ASSERT_GE(run_index(steps, "stats start -I kestrel_far farstash"), 0) << release;
    EXPECT_LT(run_index(steps, "stats start -I kestrel_far farstash"),
              run_index(steps, "stats start -I kestrel_pri priorityqueue prisched"))
        << release;
  }
  for (const char* release : {"MERIX6.5", "MERIX6.5.6", "MERIX7.3.3", "MERIX"}) {
    EXPECT_FALSE(has_run(select(filer(release, far), services(far, true), {}),
                         "stats start -I kestrel_far farstash"))
        << release;
  }
}

TEST(PrestatsCatalogue, PerfOnlyDropsTheConfigSectionAndKeepsPerfWhole) {
  for (const Licences& licences : licence_sets()) {
    for (const char* release : {"MERIX7.0", "MERIX7.2.3", "MERIX8.0.1", "MERIX"}) {
      core::FilerTarget f = filer(release, licences);
      Steps full = select(f, services(licences, true), {});
      core::RunOptions p;
      p.perf_only = true;
      Steps perf = select(f, services(licences, true), p);
      auto perf_title = std::find(full.begin(), full.end(), Title("PERF f1 PRESTATS"));
      ASSERT_NE(perf_title, full.end());
      EXPECT_TRUE(same_steps(perf, Steps(perf_title, full.end()))) << release << licences.name;
      EXPECT_EQ(count_kind(perf, Kind::kConfigTemplate), 0);
    }
  }
}

TEST(PrestatsCatalogue, ConfigOnlyEndsUnderTheConfigTitle) {
  for (const Licences& licences : licence_sets()) {
    core::FilerTarget f = filer("MERIX7.3", licences);
    Steps full = select(f, services(licences, true), {});
    core::RunOptions c;
    c.config_only = true;
    Steps config = select(f, services(licences, true), c);
    auto perf_title = std::find(full.begin(), full.end(), Title("PERF f1 PRESTATS"));
    EXPECT_TRUE(same_steps(config, Steps(full.begin(), perf_title))) << licences.name;
    ASSERT_EQ(count_kind(config, Kind::kSection), 1);
    EXPECT_EQ(config.front(), Title("CONFIG f1 PRESTATS"));
    EXPECT_EQ(count_kind(config, Kind::kPerfTemplate), 0);
  }
}

TEST(PrestatsCatalogue, ModeWordDropsEveryUngatedGroup) {
  const Licences all = licence_sets()[1];
  for (const std::string& release : releases_under_test()) {
    Steps steps = select(filer(release, all), services(all, true), mode_given("anything"));
    for (const char* dropped :
         {"exportfs", "routed status", "quota", "quota status", "netstat -x", "httpstat -z",
          "netstat -na", "netstat -anM", "netstat -BM", "fsys cpstats"}) {
      EXPECT_FALSE(has_run(steps, dropped)) << release << ": " << dropped;
    }
    EXPECT_TRUE(has_run(steps, "nfsstat -d")) << release;
  }
}

TEST(PrestatsCatalogue, ZModeIsPerfOnlyWithoutTheObjectStartsOfGroupNine) {
  const Licences all = licence_sets()[1];
  const Texts group_nine = {
      "stats start -I kestrel_nfs nfsv3 ",   "stats start -I kestrel_disk disk",
      "stats start -I kestrel_fsys fsys ",   "stats start -I kestrel_ifnet ifnet ",
      "stats start -I kestrel_nvram nvram ", "stats start -I kestrel_qtree qtree"};
  core::RunOptions p;
  p.perf_only = true;
  core::RunOptions z = p;
  z.z_mode = true;
  Steps perf = select(filer("MERIX7.3", all), services(all, true), p);
  for (const std::string& c : group_nine) EXPECT_TRUE(has_run(perf, c)) << c;
  Steps without;
  for (const CatalogueStep& s : perf) {
    if (std::find(group_nine.begin(), group_nine.end(), s.text) == group_nine.end()) {
      without.push_back(s);
    }
  }
  EXPECT_TRUE(same_steps(select(filer("MERIX7.3", all), services(all, true), z), without));
  // The other legacy starts stay.
  EXPECT_TRUE(has_run(without, "stats start -I kestrel_vol volume"));
  EXPECT_TRUE(has_run(without, "stats start -I kestrel_cifs cifs"));
}

TEST(PrestatsCatalogue, UnknownReleaseGetsTheCommonRowsOnly) {
  Licences l = licence_sets()[1];
  l.flags.svc_replisync = 1;
  const Steps expected = {
      Title("CONFIG f1 PRESTATS"),
      Cmd("rdfile /etc/replisync.conf"),
      Cmd("replisync status "),
      Cmd("replisync status -l"),
      Cmd("replisync destinations -s"),
      Cmd("backstow status -c"),
      Cmd("backstow destinations -s"),
      Cmd("backstow status -s"),
      Cmd("backstow status "),
      Cmd("backstow status -l"),
      Cmd("backstow snap sched"),
      ConfigTpl("rdfile VZPATH/etc/exports"),
      ConfigTpl("rdfile VZPATH/etc/nsswitch.conf"),
      ConfigTpl("rdfile VZPATH/etc/hosts.equiv"),
      ConfigTpl("vzone run VZNAME qtree status"),
      ConfigTpl("rdfile VZPATH/etc/cifsconfig.cfg"),
      ConfigTpl("rdfile VZPATH/etc/hosts"),
      ConfigTpl("rdfile VZPATH/etc/dgateways"),
      Cmd("rdfile /etc/usermap.cfg"),
      Cmd("rdfile /etc/lclgroups.cfg"),
      Cmd("rdfile /etc/cifsconfig.cfg"),
      Cmd("cifs shares"),
      Cmd("df -L"),
      Cmd("df -i -L"),
      Cmd("df -h -L"),
      Cmd("df -r -L"),
      ConfigTpl("vzone run VZNAME cifs shares"),
      ConfigTpl("vzone run VZNAME lun show -v all"),
      ConfigTpl("vzone run VZNAME options"),
      ConfigTpl("vzone run VZNAME igroup show"),
      ConfigTpl("vzone run VZNAME lun show -m"),
      Cmd("lun config_check -v"),
      Cmd("lun show -v all"),
      Cmd("lun show -m"),
      Cmd("igroup show"),
      Cmd("options lun"),
      Cmd("iscsi nodename"),
      Cmd("iscsi isns show"),
      Cmd("iscsi status"),
      Cmd("iscsi security show"),
      Cmd("options iscsi"),
      ConfigTpl("vzone run VZNAME iscsi nodename"),
      ConfigTpl("vzone run VZNAME iscsi status"),
      Title("PERF f1 PRESTATS"),
      Cmd("cifs sessions"),
      Cmd("vscan"),
      Cmd("cifs stat"),
      Cmd("nfs_hist -t queue"),
      Cmd("cifs sessions -t -c"),
      Cmd("smb_hist"),
      Cmd("smb_hist -z"),
      Cmd("cifs stat -z"),
      PerfTpl("vzone run VZNAME cifs sessions -t -c"),
      PerfTpl("vzone run VZNAME nfs_hist -t queue"),
      PerfTpl("vzone run VZNAME cifs sessions"),
      PerfTpl("vzone run VZNAME vscan"),
      PerfTpl("vzone run VZNAME cifs stat"),
      PerfTpl("vzone run VZNAME cifs sessions -z"),
      PerfTpl("vzone run VZNAME cifs stat -z"),
      PerfTpl("vzone run VZNAME lun stats -o"),
      PerfTpl("vzone run VZNAME lun stats -z"),
      Cmd("lun stats -o"),
      Cmd("lun hist"),
      Cmd("lun stats -z"),
      Cmd("lun hist -z"),
      PerfTpl("vzone run VZNAME nfsstat -l"),
      PerfTpl("vzone run VZNAME nfsstat -d"),
      PerfTpl("vzone run VZNAME nfsstat -z"),
      Cmd("iscsi stats"),
      Cmd("iscsi stats -z"),
      Cmd("nfsstat -d"),
      Cmd("nfs_hist"),
      Cmd("nfsstat -z "),
      Cmd("nfs_hist -z"),
      Cmd("cf monitor all"),
      Cmd("ic stats performance"),
      Cmd("cf status"),
      Cmd("ic stats error -v"),
      Cmd("cf partner"),
  };
  // Texts that are not a ladder member exactly fare the same.
  for (const char* release : {"MERIX", "MERIX7.4", "merix7.3", "MERIX7.3 ", ""}) {
    EXPECT_TRUE(same_steps(select(filer(release, l), services(l, true), mode_given()), expected))
        << release;
  }
}

TEST(PrestatsCatalogue, AllObjectsControllerStartsNoInstance) {
  for (const std::string& release : releases_under_test()) {
    for (const Licences& licences : licence_sets()) {
      for (const CatalogueStep& s :
           select(filer(release, licences), services(licences, false), {})) {
        EXPECT_EQ(s.text.find("stats start"), std::string::npos) << release << ": " << s.text;
        EXPECT_EQ(s.text.find("stats stop"), std::string::npos) << release << ": " << s.text;
      }
    }
  }
}

TEST(PrestatsCatalogue, SafeVolumesGetTheirPairsAndReplaceThePlainQtreeRows) {
  Licences l{"replicated", {}, true, {"vol1", "vol2"}};
  l.flags.svc_replisync = 1;
  Steps steps = select(filer("MERIX7.3", l), services(l, false), mode_given());
  const Steps tail =
      runs({"qtree stats vol1", "qtree stats -z vol1", "qtree stats vol2", "qtree stats -z vol2"});
  ASSERT_GE(steps.size(), tail.size());
  EXPECT_TRUE(same_steps(Steps(steps.end() - tail.size(), steps.end()), tail));
  EXPECT_FALSE(has_run(steps, "qtree stats"));
  EXPECT_FALSE(has_run(steps, "qtree stats -z"));

  // Without rebuilding there is no list to walk and still no plain rows.
  core::FilerTarget f = filer("MERIX7.3", l);
  f.vrs_rebuild = false;
  for (const CatalogueStep& s : select(f, services(l, false), {})) {
    EXPECT_NE(s.text.rfind("qtree stats", 0), 0u) << s.text;
  }
}

TEST(PrestatsCatalogue, VolumeNamesUnfitForACommandLineAreLeftOut) {
  Licences l{"replicated", {}, true, {"vol1", "a\" & del x", "", "vol-2_b", "v;rm"}};
  l.flags.svc_replisync = 1;
  Steps steps = select(filer("MERIX7.3", l), services(l, false), mode_given());
  const Steps tail = runs(
      {"qtree stats vol1", "qtree stats -z vol1", "qtree stats vol-2_b", "qtree stats -z vol-2_b"});
  ASSERT_GE(steps.size(), tail.size());
  EXPECT_TRUE(same_steps(Steps(steps.end() - tail.size(), steps.end()), tail));
  int qtree_rows = 0;
  for (const std::string& c : commands(steps)) qtree_rows += c.rfind("qtree stats", 0) == 0;
  EXPECT_EQ(qtree_rows, 4);
}

TEST(PrestatsCatalogue, TemplatesOnlyWithZonepackAndAtMostTheListCapacities) {
  for (const std::string& release : releases_under_test()) {
    for (const Licences& licences : licence_sets()) {
      Steps steps = select(filer(release, licences), services(licences, true), {});
      if (licences.flags.svc_zonepack == 0) {
        // Not even a bare "rdfile /etc/registry" on 6.5 and 6.5.6.
        EXPECT_EQ(count_kind(steps, Kind::kConfigTemplate), 0) << release << licences.name;
        EXPECT_EQ(count_kind(steps, Kind::kPerfTemplate), 0) << release << licences.name;
      }
      EXPECT_LE(count_kind(steps, Kind::kConfigTemplate), 22);
      EXPECT_LE(count_kind(steps, Kind::kPerfTemplate), 14);
    }
  }
  const Licences all = licence_sets()[1];
  Steps most = select(filer("MERIX7.3", all), services(all, true), {});
  EXPECT_EQ(count_kind(most, Kind::kConfigTemplate), 22);
  EXPECT_EQ(count_kind(most, Kind::kPerfTemplate), 14);
}

}  // namespace
