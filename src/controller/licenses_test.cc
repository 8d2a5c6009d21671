#include "controller/licenses.h"

#include <gtest/gtest.h>

#include "core/collection.h"
#include "core/messages.h"
#include "core/state.h"

namespace {

using Lines = std::vector<std::string>;

class Licenses : public ::testing::Test {
 protected:
  void SetUp() override { core::reset_state(); }
};

TEST_F(Licenses, LinesHoldingNotCountForNothing) {
  core::ServiceFlags flags = controller::count_licenses(
      {"                cifs not licensed", "                 nfs site 1234567",
       "                 fcp site 7654321 (expires: not yet)"},
      false);
  EXPECT_EQ(flags.svc_cifs, 0);
  EXPECT_EQ(flags.svc_nfs, 1);
  EXPECT_EQ(flags.svc_fcp, 0);
}

TEST_F(Licenses, CountersCountEveryNamingLine) {
  core::ServiceFlags flags = controller::count_licenses(
      {"cifs site 1", "cifs site 2", "bs_merix_pri site 3", "bs_merix_sec site 4",
       "zonepack site 5", "vzone site 6", "far_stash site 7", "a_dedupe site 8", "dafs site 9",
       "iscsi site 10", "replisync site 11"},
      false);
  EXPECT_EQ(flags.svc_cifs, 2);
  EXPECT_EQ(flags.svc_backstow, 2);
  EXPECT_EQ(flags.svc_zonepack, 2);
  EXPECT_EQ(flags.svc_farstash, 1);
  EXPECT_EQ(flags.svc_dedupe, 1);
  EXPECT_EQ(flags.svc_dafs, 1);
  EXPECT_EQ(flags.svc_iscsi, 1);
  EXPECT_EQ(flags.svc_replisync, 1);
  EXPECT_EQ(flags.svc_nfs, 0);
  EXPECT_EQ(flags.svc_cluster, 0);
  EXPECT_EQ(flags.nfs_only, 0);
}

TEST_F(Licenses, FarstashNfsCountsNeitherNfsNorFarstash) {
  core::ServiceFlags flags = controller::count_licenses({"farstash_nfs site 42"}, false);
  EXPECT_EQ(flags.svc_nfs, 0);
  EXPECT_EQ(flags.svc_farstash, 0);
  // Unlicensed, it is an ordinary line holding "not".
  flags = controller::count_licenses({"farstash_nfs not licensed"}, false);
  EXPECT_EQ(flags.svc_nfs, 0);
}

TEST_F(Licenses, ClusterOrCfSetsThePairFlag) {
  EXPECT_EQ(controller::count_licenses({"cluster site 1", "cluster site 2"}, false).svc_cluster, 1);
  EXPECT_EQ(controller::count_licenses({"cf site 1"}, false).svc_cluster, 1);
  EXPECT_EQ(controller::count_licenses({"cluster not licensed"}, false).svc_cluster, 0);
}

TEST_F(Licenses, NfsRestrictionCountsOnlyNfs) {
  core::ServiceFlags flags =
      controller::count_licenses({"nfs site 1", "cifs site 2", "cluster site 3"}, true);
  EXPECT_EQ(flags.svc_nfs, 1);
  EXPECT_EQ(flags.nfs_only, 1);
  EXPECT_EQ(flags.svc_cifs, 0);
  EXPECT_EQ(flags.svc_cluster, 0);
  EXPECT_EQ(controller::count_licenses({"cifs site 2"}, true).nfs_only, 0);
}

TEST_F(Licenses, FoundLicensesAreShownInDebugMode) {
  core::state().options.debug = true;
  testing::internal::CaptureStderr();
  controller::count_licenses({"cifs site 1", "farstash_nfs site 2", "cluster site 3"}, false);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "DEBUG: Found license: cifs\nDEBUG: Found license: farstash_nfs\n"
            "DEBUG: Found license: cluster\n");
}

TEST_F(Licenses, NoMainServiceMeansAllMainServices) {
  core::ServiceFlags flags =
      controller::count_licenses({"zonepack site 1", "a_dedupe site 2"}, false);
  EXPECT_TRUE(controller::assume_main_services(flags));
  for (int counter : {flags.svc_nfs, flags.svc_cifs, flags.svc_fcp, flags.svc_dafs, flags.svc_iscsi,
                      flags.svc_replisync, flags.svc_backstow, flags.svc_farstash}) {
    EXPECT_EQ(counter, 1);
  }
  EXPECT_EQ(flags.svc_zonepack, 1);
  EXPECT_EQ(flags.svc_dedupe, 1);
  EXPECT_EQ(flags.svc_cluster, 0);

  core::ServiceFlags iscsi_only;
  iscsi_only.svc_iscsi = 1;
  EXPECT_FALSE(controller::assume_main_services(iscsi_only));
  EXPECT_EQ(iscsi_only.svc_nfs, 0);
}

TEST_F(Licenses, CpuClassFromProcessorLine) {
  EXPECT_EQ(controller::cpu_class_from_sysconfig({"  Model Name: X", "  Processors:         1"}),
            1);
  EXPECT_EQ(controller::cpu_class_from_sysconfig({"  Processors:         2"}), 2);
  EXPECT_EQ(controller::cpu_class_from_sysconfig({"  Memory Size: 1", "  Processors: 4"}), 2);
  EXPECT_EQ(controller::cpu_class_from_sysconfig({}), 2);
}

TEST_F(Licenses, SafeVolumesAreTheThirdDottedPiece) {
  Lines reply = {"options.admin.http.enable=on",       "options.vols.vol0.nosnap=off",
                 "options.vols.vol1.replisynced=on",   "options.vols.vol2.replisynced=off",
                 "options.vols.db_01.replisynced=off", "replisynced=off",
                 "options.vols.bad;rm.replisynced=off"};
  testing::internal::CaptureStderr();
  EXPECT_EQ(controller::replication_off_volumes("f1", reply), (Lines{"vol2", "db_01"}));
  std::string said = testing::internal::GetCapturedStderr();
  EXPECT_NE(said.find("WARNING: f1: volume \"bad;rm\" holds characters"), std::string::npos)
      << said;
}

TEST_F(Licenses, SafeVolumeListKeepsTheFirst256AndSaysSoOnce) {
  Lines reply;
  for (int i = 0; i < 300; ++i) {
    reply.push_back("options.vols.v" + std::to_string(i) + ".replisynced=off");
  }
  testing::internal::CaptureStderr();
  Lines volumes = controller::safe_volume_list("capped1", reply);
  std::string first = testing::internal::GetCapturedStderr();
  ASSERT_EQ(volumes.size(), controller::kMaxSafeVolumes);
  EXPECT_EQ(volumes.front(), "v0");
  EXPECT_EQ(volumes.back(), "v255");
  EXPECT_EQ(first,
            "WARNING: capped1 has more than 256 volumes with replication off; qtree statistics "
            "are taken for the first 256 only\n");

  testing::internal::CaptureStderr();
  EXPECT_EQ(controller::safe_volume_list("capped1", reply).size(), 256u);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");

  reply.resize(256);
  testing::internal::CaptureStderr();
  EXPECT_EQ(controller::safe_volume_list("exact1", reply).size(), 256u);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST_F(Licenses, LaterReadsRepublishWithoutQuerying) {
  core::RunState& st = core::state();
  st.filers.resize(2);
  st.filers[0].name = "a";
  st.filers[0].licenses_read = true;
  st.filers[0].services.svc_cifs = 3;
  st.filers[0].services.svc_replisync = 1;
  st.filers[0].cpu_class = 1;
  st.filers[0].legacy_stats = false;
  st.filers[0].vrs_rebuild = false;  // no list to rebuild, so nothing is asked
  st.filers[1].name = "b";
  st.filers[1].licenses_read = true;
  st.filers[1].services.svc_nfs = 1;
  st.filers[1].cpu_class = 2;
  st.filers[1].legacy_stats = true;

  // Two collections used alternately each keep their own controller's set.
  core::Collection first;
  first.filer = &st.filers[0];
  core::Collection second;
  second.filer = &st.filers[1];
  controller::read_licenses(first);
  controller::read_licenses(second);
  EXPECT_EQ(first.services.flags.svc_cifs, 3);
  EXPECT_EQ(first.services.cpu_class, 1);
  EXPECT_FALSE(first.services.legacy_stats);
  EXPECT_EQ(second.services.flags.svc_cifs, 0);
  EXPECT_EQ(second.services.flags.svc_nfs, 1);
  EXPECT_EQ(second.services.cpu_class, 2);
  EXPECT_TRUE(second.services.legacy_stats);

  controller::read_licenses(first);
  EXPECT_EQ(first.services.flags.svc_nfs, 0);
  EXPECT_EQ(second.services.cpu_class, 2);
}

TEST_F(Licenses, PretendReadsNothingAndPublishesNothing) {
  core::RunState& st = core::state();
  st.options.pretend = true;
  st.filers.resize(1);
  st.filers[0].name = "p";
  st.filers[0].services.svc_cifs = 5;
  core::Collection collection;
  collection.filer = &st.filers[0];
  collection.services.cpu_class = 7;
  controller::read_licenses(collection);
  EXPECT_FALSE(st.filers[0].licenses_read);
  EXPECT_EQ(st.filers[0].services.svc_cifs, 0);
  EXPECT_EQ(collection.services.cpu_class, 7);
}

}  // namespace
