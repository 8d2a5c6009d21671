// Carrying out catalogue steps on the run's state, and the two catalogues run
// for the current controller.
#include "phases/catalogue.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "core/state.h"
#include "core/test_scratch.h"
#include "phases/catalogue_test_support.h"

namespace {

using namespace catalogue_test;

struct Issued {
  std::string section;
  std::string command;
  bool operator==(const Issued& o) const { return section == o.section && command == o.command; }
};

std::vector<Issued>& issued() {
  static std::vector<Issued> list;
  return list;
}

void record_command(const core::Collection& collection, const std::string& command) {
  issued().push_back({collection.section, command});
}

class CatalogueSteps : public ::testing::Test {
 protected:
  void SetUp() override {
    core::reset_state();
    issued().clear();
    // Commands print into scratch files: each case gets a folder of its own.
    scratch = core::test_scratch("catalogue",
                                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
    core::state().temp_dir = scratch.string() + "/";
  }
  void TearDown() override {
    core::reset_state();
    std::filesystem::remove_all(scratch);
  }
  std::filesystem::path scratch;
};

TEST_F(CatalogueSteps, CommandsRunUnderTheTitleInForceAndTemplatesAreAppended) {
  core::Collection st;
  st.section = "PERF host PRESTATS";
  st.vzone_config_templates = {"earlier config"};
  st.vzone_perf_templates = {"earlier perf"};
  const Steps steps = {Cmd("before any title"),
                       Title("CONFIG f1 PRESTATS"),
                       Cmd("df"),
                       ConfigTpl("rdfile VZPATH/etc/exports"),
                       Cmd("nis info "),
                       Title("PERF f1 PRESTATS"),
                       PerfTpl("vzone run VZNAME cifs stat"),
                       Cmd("netstat -x"),
                       ConfigTpl("vzone run VZNAME igroup show -v")};
  phases::perform_catalogue_steps(st, steps, record_command);

  const std::vector<Issued> expected = {{"PERF host PRESTATS", "before any title"},
                                        {"CONFIG f1 PRESTATS", "df"},
                                        {"CONFIG f1 PRESTATS", "nis info "},
                                        {"PERF f1 PRESTATS", "netstat -x"}};
  EXPECT_EQ(issued(), expected);
  EXPECT_EQ(st.section, "PERF f1 PRESTATS");
  EXPECT_EQ(st.vzone_config_templates, Texts({"earlier config", "rdfile VZPATH/etc/exports",
                                              "vzone run VZNAME igroup show -v"}));
  EXPECT_EQ(st.vzone_perf_templates, Texts({"earlier perf", "vzone run VZNAME cifs stat"}));
}

TEST_F(CatalogueSteps, ConfigOnlyLeavesTheConfigTitleForWhatFollows) {
  core::RunOptions c;
  c.config_only = true;
  core::Collection collection;
  phases::perform_catalogue_steps(
      collection, phases::select_prestats_catalogue(filer("MERIX7.3"), services({}, false), c),
      record_command);
  EXPECT_EQ(collection.section, "CONFIG f1 PRESTATS");
  ASSERT_FALSE(issued().empty());
  for (const Issued& i : issued()) EXPECT_EQ(i.section, "CONFIG f1 PRESTATS") << i.command;
}

TEST_F(CatalogueSteps, CriticalStartsRunUnderThePerfTitle) {
  core::RunOptions y;
  y.critical_only = true;
  y.perf_only = true;
  core::Collection collection;
  phases::perform_catalogue_steps(
      collection, phases::select_prestats_catalogue(filer("MERIX7.0"), services({}, true), y),
      record_command);
  ASSERT_EQ(issued().size(), 7u);
  EXPECT_EQ(issued().back(), (Issued{"PERF f1 PRESTATS", "stats start -I kestrel_nfs  nfsv3"}));
}

// The catalogues run for the collection's controller with its published
// services and the options; in pretend mode each command is echoed into the
// collection's report text.
class RunCatalogue : public CatalogueSteps {
 protected:
  void SetUp() override {
    CatalogueSteps::SetUp();
    core::RunState& st = core::state();
    st.filers.resize(2);
    st.filers[0].name = "f1";
    st.filers[0].release = "MERIX7.0";
    st.filers[1].name = "f2";
    st.filers[1].release = "MERIX7.3";
    collection.filer = &st.filers[1];
    collection.services.flags.svc_nfs = 1;
    collection.services.flags.svc_zonepack = 1;
    collection.services.legacy_stats = false;
    st.options.mode = "X";
    st.options.mode_given = true;
    st.options.pretend = true;
  }
  core::Collection collection;
};

TEST_F(RunCatalogue, PrestatsRunsItsCommandsAndFillsTheTemplateLists) {
  core::Collection& st = collection;
  st.vzone_perf_templates = {"left by the phase"};
  ::testing::internal::CaptureStdout();
  phases::run_prestats_catalogue(collection);
  std::string out = ::testing::internal::GetCapturedStdout();

  EXPECT_EQ(out,
            "Filer: nfsstat -d\n"
            "Filer: nfs_hist\n"
            "Filer: nfsstat -z \n"
            "Filer: nfs_hist -z\n"
            "Filer: qtree stats -z\n"
            "Filer: qtree stats\n");
  EXPECT_EQ(st.section, "PERF f2 PRESTATS");
  EXPECT_EQ(st.vzone_config_templates,
            Texts({"rdfile VZPATH/etc/exports", "rdfile VZPATH/etc/nsswitch.conf",
                   "rdfile VZPATH/etc/hosts.equiv", "vzone run VZNAME qtree status",
                   "rdfile VZPATH/etc/cifsconfig.cfg", "rdfile VZPATH/etc/hosts",
                   "rdfile VZPATH/etc/dgateways", "rdfile VZPATH/etc/cifsconfig_setup.cfg",
                   "rdfile VZPATH/etc/cifsconfig_share.cfg", "rdfile VZPATH/etc/registry"}));
  EXPECT_EQ(st.vzone_perf_templates,
            Texts({"left by the phase", "vzone run VZNAME nfsstat -l",
                   "vzone run VZNAME nfsstat -d", "vzone run VZNAME nfsstat -z",
                   "vzone run VZNAME qtree status", "vzone run VZNAME qtree stats -z"}));
}

TEST_F(RunCatalogue, PoststatsRunsItsCommandsForTheCurrentController) {
  core::RunState& st = core::state();
  st.options.z_mode = true;
  st.options.perf_only = true;
  ::testing::internal::CaptureStdout();
  phases::run_poststats_catalogue(collection);
  std::string out = ::testing::internal::GetCapturedStdout();

  EXPECT_EQ(out,
            "Filer: nfsstat -d\n"
            "Filer: nfs_hist\n"
            "Filer: qtree stats\n");
  EXPECT_EQ(collection.section, "PERF f2 POSTSTATS");
  EXPECT_TRUE(collection.vzone_config_templates.empty());
  EXPECT_EQ(collection.vzone_perf_templates,
            Texts({"vzone run VZNAME nfsstat -l", "vzone run VZNAME nfsstat -d",
                   "vzone run VZNAME qtree stats "}));
}

TEST_F(RunCatalogue, UnusableVolumeNamesAreLoggedAndNotRun) {
  core::RunState& st = core::state();
  st.error_log_path = st.temp_dir + "error.log";
  collection.services.flags = {};
  collection.services.flags.svc_replisync = 1;
  st.filers[1].vrs_rebuild = true;
  st.filers[1].safe_volumes = {"vol1", "x\" & echo injected"};
  ::testing::internal::CaptureStdout();
  phases::run_poststats_catalogue(collection);
  std::string out = ::testing::internal::GetCapturedStdout();

  EXPECT_NE(out.find("Filer: qtree stats vol1\n"), std::string::npos) << out;
  EXPECT_EQ(out.find("injected"), std::string::npos) << out;
  std::ifstream log(st.error_log_path);
  std::stringstream text;
  text << log.rdbuf();
  EXPECT_NE(text.str().find("Skipping qtree stats of volume with unusable name on f2: x\" & echo "
                            "injected"),
            std::string::npos)
      << text.str();
}

}  // namespace
