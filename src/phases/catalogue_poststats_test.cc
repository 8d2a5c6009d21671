// The poststats catalogue checked against the command lists as the collection
// rules state them, for every release, mode and licence set, plus literal
// sequences for representative controllers.
#include <gtest/gtest.h>

#include "phases/catalogue.h"
#include "phases/catalogue_test_support.h"

namespace {

using namespace catalogue_test;

const Texts kPerfCommon = {"raid_config -r", "mbstat",       "backup status",       "netstat -s",
                           "fsys_susp -r",   "netstat -i",   "replisync status -l", "ps -s",
                           "httpstat -t",    "fsys_susp -w", "vol scrub status -v", "ps",
                           "raid_config -x", "ifstat -a -v", "storage stats tape"};

const Texts kLogReads = {"mem_stats -e", "rdfile /etc/log/backup", "rdfile /etc/messages",
                         "rdfile /etc/log/ems", "mem_stats"};

const std::vector<std::pair<Texts, Texts>> kConfigReleaseGroup1 = {
    {{"6.5", "6.5.6"}, {"quota"}},
    {{"7.0", "7.0.1", "7.0.2", "7.0.3", "7.1"}, {"quota status", "df -A -h"}},
    {{"7.0.4", "7.0.5", "7.0.6", "7.1.1", "7.1.2", "7.2", "7.2.1", "7.2.2"},
     {"quota status", "aggr show_space", "df -A -h"}},
    {{"7.0.7", "7.1.3", "7.2.3", "7.3", "7.3.1", "7.3.2", "7.3.5", "8.0", "8.0.1", "8.0.2", "8.1",
      "8.1.1", "10.0"},
     {"snap list -n -A", "snap status -A", "df -A -h", "quota status", "aggr show_space"}},
};

const std::vector<std::pair<Texts, Texts>> kPerfReleaseGroup1 = {
    {{"6.5"}, {"netstat -na", "fsys scan status"}},
    {{"6.5.6"}, {"vol media_scrub status -v", "fsys scan status", "netstat -na"}},
    {{"7.0", "7.0.1"},
     {"netstat -na", "reallocate status -v", "fsys cpstats", "farstash stats -S -c"}},
    {{"7.0.2", "7.0.3", "7.0.4", "7.1"},
     {"vol media_scrub status -v", "reallocate status -v", "fsys cpstats", "farstash stats -S -c",
      "netstat -na", "fsys scan status", "fsys scan status -A"}},
    {{"7.0.5", "7.0.6", "7.0.7", "7.1.1", "7.1.2", "7.1.3"},
     {"fsys scan status -A", "vol media_scrub status -v", "farstash stats -S -c",
      "reallocate status -v", "rshstat -t", "fsys cpstats", "netstat -na", "fsys scan status"}},
    {{"7.2"},
     {"fsys scan status -A", "vol media_scrub status -v", "farstash stats -S -c",
      "sasadmin dev_stats", "fsys bufstats", "reallocate status -v", "netstat -na", "fsys cpstats",
      "fsysaffinity_stats", "fsys scan status", "export_stats -p -q -a"}},
    {{"7.2.1", "7.2.2", "7.2.3"},
     {"fsys scan status -A", "netstat -na", "export_stats -p -q -a", "fsys scan status",
      "fsys bufstats", "fsys cpstats", "farstash stats -S -c", "sasadmin dev_stats",
      "fsysaffinity_stats", "vol media_scrub status -v", "rshstat -t", "reallocate status -v"}},
    {{"7.3"},
     {"toe status", "fsys cpstats", "rshstat -t", "netstat -anM", "fsysaffinity_stats",
      "fsys scan status", "farstash stats -S -c", "reallocate status -v", "fsys scan status -A",
      "sasadmin dev_stats", "export_stats -p -q -a", "fsys bufstats", "vol media_scrub status -v"}},
    {{"7.3.1"},
     {"toe status", "netstat -anM", "stats show hostadapter", "vol media_scrub status -v",
      "rshstat -t", "fsys bufstats", "ndmpd probe", "fsys scan status", "fsys scan status -A",
      "fsysaffinity_stats", "fsys cpstats", "reallocate status -v", "export_stats -p -q -a",
      "farstash stats -S -c", "ndmpd status", "sasadmin dev_stats"}},
    {{"7.3.2", "7.3.5", "8.0", "8.0.2", "8.1", "8.1.1", "10.0"},
     {"toe status", "fsysaffinity_stats", "ndmpd probe", "reallocate status -v",
      "stats show hostadapter", "farstash stats -S -c", "netstat -anM", "sasadmin dev_stats",
      "rshstat -t", "fsys bufstats", "ndmpd status", "fsys scan status", "fsys cpstats",
      "vol media_scrub status -v", "ifinfo -a", "fsys scan status -A", "export_stats -p -q -a"}},
    {{"7.3.3"}, {"netstat -BM"}},
    {{"8.0.1"},
     {"toe status", "fsys scan status -A", "rshstat -t", "export_stats -p -q -a",
      "stats show hostadapter", "fsys cpstats", "ndmpd probe", "ndmpd status", "netstat -anM",
      "ifinfo -a", "fsysaffinity_stats", "fsys bufstats", "farstash stats -S -c",
      "vol media_scrub status -v", "reallocate status -v", "fsys scan status", "netstat -BM",
      "sasadmin dev_stats"}},
};

const Texts kOldForm = {"7.0", "7.0.1", "7.0.2", "7.0.3", "7.0.4", "7.0.5", "7.1", "7.1.1", "7.2"};
const Texts kNewForm = {"7.0.6", "7.0.7", "7.1.2", "7.1.3", "7.2.1", "7.2.2",
                        "7.2.3", "7.3",   "7.3.1", "7.3.2", "7.3.5", "8.0",
                        "8.0.1", "8.0.2", "8.1",   "8.1.1", "10.0"};

const Texts kOldIscsi = {"6.5",   "6.5.6", "7.0",   "7.0.1", "7.0.2",
                         "7.0.3", "7.0.4", "7.0.5", "7.0.6", "7.0.7"};

const Texts kCriticalStops = {"stats stop -I kestrel_vol", "stats stop -I kestrel_cifs",
                              "stats stop -I kestrel_fcp", "stats stop -I kestrel_iscsi",
                              "stats stop -I kestrel_nfs"};

struct Expect {
  Steps steps;
  void title(const std::string& t) { steps.push_back(Title(t)); }
  void run(const Texts& c) {
    for (const std::string& t : c) steps.push_back(Cmd(t));
  }
  void perf_list(const Texts& c) {
    for (const std::string& t : c) steps.push_back(PerfTpl(t));
  }
};

// The poststats sequence, written out from the collection rules.
Steps expected_poststats(const core::FilerTarget& f, const core::CurrentServices& cs,
                         const core::RunOptions& o) {
  const core::ServiceFlags& s = cs.flags;
  const std::string& r = f.release;
  const bool legacy = cs.legacy_stats;
  const Texts config_all = ladder();
  const Texts perf_all = ladder() + Texts{"7.3.3"};
  const bool old_form = on(r, kOldForm);
  const bool new_form = on(r, kNewForm);
  Expect e;

  if (!o.perf_only) {
    e.title("CONFIG " + f.name + " POSTSTATS");
    if (!o.mode_given) e.run({"df -r", "storage show disk -a", "df", "df -i"});
    if (s.svc_replisync) e.run({"rdfile /etc/log/replisync", "replisync status -l"});
    if (s.svc_backstow) e.run({"backstow status "});
    if (!o.mode_given) e.run(by_release(kConfigReleaseGroup1, r));
    if (s.svc_fcp && on(r, all_but(config_all, {"7.0", "7.0.1", "7.0.2", "7.0.3"}))) {
      e.run({"fcp status"});
    }
    if (s.svc_iscsi) {
      if (on(r, all_but(config_all, kOldIscsi))) {
        e.run({"iscsi session show -v", "iscsi connection show -v"});
      } else if (on(r, kOldIscsi)) {
        e.run({"iswt connection show -v iswtb", "iswt session show -v iswta",
               "iswt connection show -v iswta", "iswt session show -v iswtb"});
      }
    }
  }

  if (!o.config_only) {
    e.title("PERF " + f.name + " POSTSTATS");
    if (o.critical_only) {
      e.run({"fsys scan status", "fsys scan status -A", "fsys_susp -r", "ps -s", "fsys_susp -w",
             "ps"});
    } else {
      if (!o.mode_given) e.run(kPerfCommon);
      if (s.svc_cifs) {
        e.run({"vscan", "nfs_hist -t queue", "cifs sessions -t -c", "cifs stat -c", "cifs top",
               "smb_hist", "cifs sessions"});
      }
      if (!o.z_mode) e.run(kLogReads);
      if (s.svc_zonepack && s.svc_cifs) {
        e.perf_list({"vzone run VZNAME cifs sessions -t -c", "vzone run VZNAME cifs top",
                     "vzone run VZNAME cifs stat -c", "vzone run VZNAME vscan",
                     "vzone run VZNAME cifs sessions", "vzone run VZNAME nfs_hist -t queue"});
      }
      if (s.nfs_only == 1) e.run({"nfsstat -d", "fsys_susp -w", "ifstat -a -v   ", "nfs_hist"});
      if (s.svc_zonepack && (s.svc_fcp || s.svc_iscsi)) {
        e.perf_list({"vzone run VZNAME lun stats -o"});
      }
      if (s.svc_fcp || s.svc_iscsi) e.run({"lun stats -o", "lun hist"});
      if (s.svc_zonepack && s.svc_nfs) {
        e.perf_list({"vzone run VZNAME nfsstat -l", "vzone run VZNAME nfsstat -d"});
      }
      if (s.svc_iscsi) e.run({"iscsi stats"});
      if (s.svc_nfs) e.run({"nfsstat -d", "nfs_hist"});
      if (s.svc_cluster) {
        e.run({"cf monitor all", "ic stats performance", "cf status", "ic stats error -v",
               "cf partner"});
      }

      if (!o.mode_given) e.run(by_release(kPerfReleaseGroup1, r));
      if (legacy && (s.svc_iscsi || s.svc_fcp)) {
        if (new_form) e.run({"stats stop -I kestrel_lun", "stats stop -I kestrel_tg"});
        if (old_form) e.run({"stats stop -I kestrel_lun lun"});
        if (s.svc_fcp) {
          if (new_form) e.run({"stats stop -I kestrel_fcp"});
          if (old_form) e.run({"stats stop -I kestrel_fcp fcp"});
        }
      }
      if (!s.svc_replisync && on(r, all_but(perf_all, {"7.3.3"}))) e.run({"qtree stats"});
      if (s.svc_farstash) {
        if (on(r, all_but(perf_all,
                          {"6.5", "6.5.6", "7.0", "7.0.1", "7.0.2", "7.0.3", "7.0.4", "7.3.3"}))) {
          e.run({"farstash hist -C -S"});
        }
        if (on(r, all_but(perf_all, {"6.5", "6.5.6", "7.3.3"}))) {
          e.run({"nfsstat -c", "farstash stats -C"});
        }
      }
      const Texts from_7_2 = {"7.2",   "7.2.1", "7.2.2", "7.2.3", "7.3", "7.3.1", "7.3.2",
                              "7.3.5", "8.0",   "8.0.1", "8.0.2", "8.1", "8.1.1", "10.0"};
      if (s.svc_dedupe && on(r, from_7_2)) {
        e.run({"dedupe stat -g", "dedupe stat -lv", "dedupe status -l"});
      }
      if (s.svc_fcp &&
          on(r, all_but(perf_all, {"7.0", "7.0.1", "7.0.2", "7.0.3", "7.1", "7.3.3"}))) {
        e.run({"fcp stats"});
      }
      if (!o.z_mode && legacy && s.svc_nfs && new_form) e.run({"stats stop -I kestrel_nfs"});
      if ((s.svc_iscsi || s.svc_fcp) && on(r, {"7.3", "7.3.1", "7.3.2", "7.3.5", "8.0", "8.0.1",
                                               "8.0.2", "8.1", "8.1.1", "10.0"})) {
        e.run({"lun stats -e"});
      }
      if (!o.z_mode && legacy) {
        if (new_form) {
          if (on(r, {"7.0.6", "7.0.7", "7.1.3", "7.2.2", "7.2.3", "7.3", "7.3.1", "7.3.2", "7.3.5",
                     "8.0", "8.0.1", "8.0.2", "8.1", "8.1.1", "10.0"})) {
            e.run({"stats stop -I kestrel_qtree"});
          }
          e.run({"stats stop -I kestrel_nvram", "stats stop -I kestrel_disk",
                 "stats stop -I kestrel_fsys", "stats stop -I kestrel_ifnet"});
        }
        if (old_form) {
          e.run({"stats stop -I kestrel_nvram nvram", "stats stop -I kestrel_fsys fsys",
                 "stats stop -I kestrel_disk disk", "stats stop -I kestrel_nfs nfsv3",
                 "stats stop -I kestrel_ifnet ifnet"});
        }
      }
      if (s.svc_cifs && legacy) {
        if (new_form) e.run({"stats stop -I kestrel_cifs"});
        if (old_form) e.run({"stats stop -I kestrel_cifs cifs"});
      }
      const Texts late = {"7.0",   "7.0.1", "7.0.2", "7.0.3", "7.0.4", "7.0.5",
                          "7.0.6", "7.0.7", "7.1",   "7.1.1", "7.1.2", "7.1.3"};
      const Texts farstash_stop = new_form   ? Texts{"stats stop -I kestrel_far"}
                                  : old_form ? Texts{"stats stop -I kestrel_far farstash"}
                                             : Texts{};
      if (s.svc_farstash && legacy && !on(r, late)) e.run(farstash_stop);
      if (legacy) {
        if (new_form) {
          e.run({"stats stop -I kestrel_aggr", "stats stop -I kestrel_vol",
                 "stats stop -I kestrel_sys", "stats stop -I kestrel_lmem",
                 "stats stop -I kestrel_pri", "stats stop -I kestrel_ra",
                 "stats stop -I kestrel_proc"});
        }
        if (old_form) {
          e.run({"stats stop -I kestrel_ra readahead"});
          if (on(r, {"7.0.2", "7.0.3", "7.0.4", "7.0.5", "7.1", "7.1.1", "7.2"})) {
            e.run({"stats stop -I kestrel_pri priorityqueue"});
          }
          e.run({"stats stop -I kestrel_aggr aggregate", "stats stop -I kestrel_proc processor",
                 "stats stop -I kestrel_lmem lmem", "stats stop -I kestrel_vol volume",
                 "stats stop -I kestrel_sys system"});
        }
      }
      if (s.svc_farstash && legacy && on(r, late)) e.run(farstash_stop);
      if (s.svc_zonepack && !s.svc_replisync && on(r, all_but(perf_all, {"7.3.3"}))) {
        e.perf_list({"vzone run VZNAME qtree stats "});
      }
      if (s.svc_iscsi && legacy) {
        if (new_form) e.run({"stats stop -I kestrel_iscsi"});
        if (old_form) e.run({"stats stop -I kestrel_iscsi iscsi"});
      }
      if (s.svc_replisync && f.vrs_rebuild) {
        for (const std::string& v : f.safe_volumes) e.run({"qtree stats " + v});
      }
    }
  }
  if (o.critical_only) e.run(kCriticalStops);
  return e.steps;
}

Steps select(const core::FilerTarget& f, const core::CurrentServices& s,
             const core::RunOptions& o) {
  return phases::select_poststats_catalogue(f, s, o);
}

TEST(PoststatsCatalogue, EveryReleaseModeAndLicenceSetFollowsTheRules) {
  EXPECT_GT(check_every_case(select, expected_poststats), 5000);
}

TEST(PoststatsCatalogue, UnlicensedControllerOn731RunsTheFullDefaultSet) {
  const Steps expected = {
      Title("CONFIG f1 POSTSTATS"),
      Cmd("df -r"),
      Cmd("storage show disk -a"),
      Cmd("df"),
      Cmd("df -i"),
      Cmd("snap list -n -A"),
      Cmd("snap status -A"),
      Cmd("df -A -h"),
      Cmd("quota status"),
      Cmd("aggr show_space"),
      Title("PERF f1 POSTSTATS"),
      Cmd("raid_config -r"),
      Cmd("mbstat"),
      Cmd("backup status"),
      Cmd("netstat -s"),
      Cmd("fsys_susp -r"),
      Cmd("netstat -i"),
      Cmd("replisync status -l"),
      Cmd("ps -s"),
      Cmd("httpstat -t"),
      Cmd("fsys_susp -w"),
      Cmd("vol scrub status -v"),
      Cmd("ps"),
      Cmd("raid_config -x"),
      Cmd("ifstat -a -v"),
      Cmd("storage stats tape"),
      Cmd("mem_stats -e"),
      Cmd("rdfile /etc/log/backup"),
      Cmd("rdfile /etc/messages"),
      Cmd("rdfile /etc/log/ems"),
      Cmd("mem_stats"),
      Cmd("toe status"),
      Cmd("netstat -anM"),
      Cmd("stats show hostadapter"),
      Cmd("vol media_scrub status -v"),
      Cmd("rshstat -t"),
      Cmd("fsys bufstats"),
      Cmd("ndmpd probe"),
      Cmd("fsys scan status"),
      Cmd("fsys scan status -A"),
      Cmd("fsysaffinity_stats"),
      Cmd("fsys cpstats"),
      Cmd("reallocate status -v"),
      Cmd("export_stats -p -q -a"),
      Cmd("farstash stats -S -c"),
      Cmd("ndmpd status"),
      Cmd("sasadmin dev_stats"),
      Cmd("qtree stats"),
  };
  EXPECT_TRUE(same_steps(select(filer("MERIX7.3.1"), services({}, false), {}), expected));
}

TEST(PoststatsCatalogue, CriticalOnlyRunsExactlyTheStressedSet) {
  const Steps expected = {Title("PERF f1 POSTSTATS"),
                          Cmd("fsys scan status"),
                          Cmd("fsys scan status -A"),
                          Cmd("fsys_susp -r"),
                          Cmd("ps -s"),
                          Cmd("fsys_susp -w"),
                          Cmd("ps"),
                          Cmd("stats stop -I kestrel_vol"),
                          Cmd("stats stop -I kestrel_cifs"),
                          Cmd("stats stop -I kestrel_fcp"),
                          Cmd("stats stop -I kestrel_iscsi"),
                          Cmd("stats stop -I kestrel_nfs")};
  core::RunOptions o;
  o.critical_only = true;
  o.perf_only = true;
  for (const std::string& release : releases_under_test()) {
    for (const Licences& licences : licence_sets()) {
      for (bool legacy : {false, true}) {
        EXPECT_TRUE(
            same_steps(select(filer(release, licences), services(licences, legacy), o), expected))
            << release << ", " << licences.name;
      }
    }
  }
}

TEST(PoststatsCatalogue, Release72UsesOldFormStopsWithFarstashBeforeTheObjectStops) {
  Licences l{"mixed", {}, false, {}};
  l.flags.svc_nfs = 1;
  l.flags.svc_cifs = 1;
  l.flags.svc_fcp = 1;
  l.flags.svc_iscsi = 1;
  l.flags.svc_farstash = 1;
  const Steps expected = {
      Title("CONFIG f1 POSTSTATS"),
      Cmd("fcp status"),
      Cmd("iscsi session show -v"),
      Cmd("iscsi connection show -v"),
      Title("PERF f1 POSTSTATS"),
      Cmd("vscan"),
      Cmd("nfs_hist -t queue"),
      Cmd("cifs sessions -t -c"),
      Cmd("cifs stat -c"),
      Cmd("cifs top"),
      Cmd("smb_hist"),
      Cmd("cifs sessions"),
      Cmd("mem_stats -e"),
      Cmd("rdfile /etc/log/backup"),
      Cmd("rdfile /etc/messages"),
      Cmd("rdfile /etc/log/ems"),
      Cmd("mem_stats"),
      Cmd("lun stats -o"),
      Cmd("lun hist"),
      Cmd("iscsi stats"),
      Cmd("nfsstat -d"),
      Cmd("nfs_hist"),
      Cmd("stats stop -I kestrel_lun lun"),
      Cmd("stats stop -I kestrel_fcp fcp"),
      Cmd("qtree stats"),
      Cmd("farstash hist -C -S"),
      Cmd("nfsstat -c"),
      Cmd("farstash stats -C"),
      Cmd("fcp stats"),
      Cmd("stats stop -I kestrel_nvram nvram"),
      Cmd("stats stop -I kestrel_fsys fsys"),
      Cmd("stats stop -I kestrel_disk disk"),
      Cmd("stats stop -I kestrel_nfs nfsv3"),
      Cmd("stats stop -I kestrel_ifnet ifnet"),
      Cmd("stats stop -I kestrel_cifs cifs"),
      Cmd("stats stop -I kestrel_far farstash"),
      Cmd("stats stop -I kestrel_ra readahead"),
      Cmd("stats stop -I kestrel_pri priorityqueue"),
      Cmd("stats stop -I kestrel_aggr aggregate"),
      Cmd("stats stop -I kestrel_proc processor"),
      Cmd("stats stop -I kestrel_lmem lmem"),
      Cmd("stats stop -I kestrel_vol volume"),
      Cmd("stats stop -I kestrel_sys system"),
      Cmd("stats stop -I kestrel_iscsi iscsi"),
  };
  EXPECT_TRUE(same_steps(select(filer("MERIX7.2", l), services(l, true), mode_given()), expected));
}

TEST(PoststatsCatalogue, Release702StopsPriorityQueueAndFarstashLast) {
  Licences far{"farstash", {}, false, {}};
  far.flags.svc_farstash = 1;
  const Steps expected = {
      Title("CONFIG f1 POSTSTATS"),
      Title("PERF f1 POSTSTATS"),
      Cmd("mem_stats -e"),
      Cmd("rdfile /etc/log/backup"),
      Cmd("rdfile /etc/messages"),
      Cmd("rdfile /etc/log/ems"),
      Cmd("mem_stats"),
      Cmd("qtree stats"),
      Cmd("nfsstat -c"),
      Cmd("farstash stats -C"),
      Cmd("stats stop -I kestrel_nvram nvram"),
      Cmd("stats stop -I kestrel_fsys fsys"),
      Cmd("stats stop -I kestrel_disk disk"),
      Cmd("stats stop -I kestrel_nfs nfsv3"),
      Cmd("stats stop -I kestrel_ifnet ifnet"),
      Cmd("stats stop -I kestrel_ra readahead"),
      Cmd("stats stop -I kestrel_pri priorityqueue"),
      Cmd("stats stop -I kestrel_aggr aggregate"),
      Cmd("stats stop -I kestrel_proc processor"),
      Cmd("stats stop -I kestrel_lmem lmem"),
      Cmd("stats stop -I kestrel_vol volume"),
      Cmd("stats stop -I kestrel_sys system"),
      Cmd("stats stop -I kestrel_far farstash"),
  };
  EXPECT_TRUE(
      same_steps(select(filer("MERIX7.0.2", far), services(far, true), mode_given()), expected));

  // 7.0 and 7.0.1 are old-form releases without the priority queue instance.
  EXPECT_FALSE(has_run(select(filer("MERIX7.0.1", far), services(far, true), {}),
                       "stats stop -I kestrel_pri priorityqueue"));
}

TEST(PoststatsCatalogue, NewFormReleasesStopByInstanceName) {
  Licences far{"farstash and cifs", {}, false, {}};
  far.flags.svc_farstash = 1;
  far.flags.svc_cifs = 1;
  for (const char* release : {"MERIX7.0.6", "MERIX7.1.2", "MERIX7.1.3"}) {
    Steps steps = select(filer(release, far), services(far, true), {});
    EXPECT_GT(run_index(steps, "stats stop -I kestrel_far"),
              run_index(steps, "stats stop -I kestrel_proc"))
        << release;
    EXPECT_TRUE(has_run(steps, "stats stop -I kestrel_cifs")) << release;
  }
  for (const char* release : {"MERIX7.2.1", "MERIX7.3", "MERIX10.0"}) {
    Steps steps = select(filer(release, far), services(far, true), {});
    ASSERT_GE(run_index(steps, "stats stop -I kestrel_far"), 0) << release;
    EXPECT_LT(run_index(steps, "stats stop -I kestrel_far"),
              run_index(steps, "stats stop -I kestrel_aggr"))
        << release;
  }
  // The qtree instance is stopped only where it is started.
  EXPECT_FALSE(has_run(select(filer("MERIX7.2.1", far), services(far, true), {}),
                       "stats stop -I kestrel_qtree"));
  EXPECT_TRUE(has_run(select(filer("MERIX7.2.2", far), services(far, true), {}),
                      "stats stop -I kestrel_qtree"));
}

TEST(PoststatsCatalogue, ConfigOnlyEndsUnderTheConfigTitle) {
  for (const Licences& licences : licence_sets()) {
    core::RunOptions c;
    c.config_only = true;
    Steps steps = select(filer("MERIX8.0.1", licences), services(licences, true), c);
    ASSERT_EQ(count_kind(steps, Kind::kSection), 1);
    EXPECT_EQ(steps.front(), Title("CONFIG f1 POSTSTATS"));
    for (const CatalogueStep& s : steps) EXPECT_NE(s.kind, Kind::kPerfTemplate) << s.text;
  }
}

TEST(PoststatsCatalogue, ZModeSkipsLogReadsAndTheNfsAndObjectStops) {
  const Licences all = licence_sets()[1];
  core::RunOptions z;
  z.z_mode = true;
  z.perf_only = true;
  for (const char* release : {"MERIX7.0.2", "MERIX7.3"}) {
    Steps steps = select(filer(release, all), services(all, true), z);
    EXPECT_EQ(count_kind(steps, Kind::kSection), 1);
    EXPECT_EQ(steps.front(), Title("PERF f1 POSTSTATS"));
    for (const std::string& c : kLogReads) EXPECT_FALSE(has_run(steps, c)) << c;
    for (const char* c : {"stats stop -I kestrel_nfs", "stats stop -I kestrel_nfs nfsv3",
                          "stats stop -I kestrel_qtree", "stats stop -I kestrel_nvram",
                          "stats stop -I kestrel_nvram nvram", "stats stop -I kestrel_disk",
                          "stats stop -I kestrel_disk disk"}) {
      EXPECT_FALSE(has_run(steps, c)) << release << ": " << c;
    }
  }
  // The remaining legacy stops still run.
  Steps steps = select(filer("MERIX7.3", all), services(all, true), z);
  EXPECT_TRUE(has_run(steps, "stats stop -I kestrel_vol"));
  EXPECT_TRUE(has_run(steps, "stats stop -I kestrel_cifs"));
  EXPECT_TRUE(has_run(steps, "stats stop -I kestrel_iscsi"));
}

TEST(PoststatsCatalogue, AllObjectsControllerGetsNoStopRow) {
  for (const std::string& release : releases_under_test()) {
    for (const Licences& licences : licence_sets()) {
      for (const CatalogueStep& s :
           select(filer(release, licences), services(licences, false), {})) {
        EXPECT_EQ(s.text.find("stats stop"), std::string::npos) << release << ": " << s.text;
      }
    }
  }
}

TEST(PoststatsCatalogue, SafeVolumesEndThePerfSectionWithoutThePlainQtreeRows) {
  Licences l{"replicated", {}, true, {"vol1", "vol2"}};
  l.flags.svc_replisync = 1;
  l.flags.svc_zonepack = 1;
  const Steps expected = {Title("CONFIG f1 POSTSTATS"),
                          Cmd("rdfile /etc/log/replisync"),
                          Cmd("replisync status -l"),
                          Title("PERF f1 POSTSTATS"),
                          Cmd("mem_stats -e"),
                          Cmd("rdfile /etc/log/backup"),
                          Cmd("rdfile /etc/messages"),
                          Cmd("rdfile /etc/log/ems"),
                          Cmd("mem_stats"),
                          Cmd("qtree stats vol1"),
                          Cmd("qtree stats vol2")};
  EXPECT_TRUE(same_steps(select(filer("MERIX7.3", l), services(l, false), mode_given()), expected));
}

TEST(PoststatsCatalogue, ReplicationStatusRunsWithoutTheLicence) {
  for (const Licences& licences : licence_sets()) {
    EXPECT_TRUE(has_run(select(filer("MERIX7.3", licences), services(licences, false), {}),
                        "replisync status -l"))
        << licences.name;
  }
}

TEST(PoststatsCatalogue, NeverAppendsToTheConfigurationList) {
  for (const std::string& release : releases_under_test()) {
    for (const Mode& mode : modes()) {
      for (const Licences& licences : licence_sets()) {
        Steps steps = select(filer(release, licences), services(licences, true), mode.options);
        EXPECT_EQ(count_kind(steps, Kind::kConfigTemplate), 0) << release << mode.name;
      }
    }
  }
}

TEST(PoststatsCatalogue, UnknownAndForced733ReleasesGetNoReleaseRowsButNetstatBM) {
  const Steps common = Steps{Title("CONFIG f1 POSTSTATS")} +
                       runs({"df -r", "storage show disk -a", "df", "df -i"}) +
                       Steps{Title("PERF f1 POSTSTATS")} + runs(kPerfCommon) + runs(kLogReads);
  EXPECT_TRUE(same_steps(select(filer("MERIX"), services({}, true), {}), common));
  EXPECT_TRUE(same_steps(select(filer("MERIX7.3.3"), services({}, true), {}),
                         common + runs({"netstat -BM"})));
}

}  // namespace
