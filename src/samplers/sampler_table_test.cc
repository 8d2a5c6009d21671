#include "samplers/sampler_table.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "controller/release.h"
#include "samplers/samplers_test_support.h"

namespace samplers {

inline void PrintTo(const PlannedJob& job, std::ostream* os) {
  *os << static_cast<int>(job.kind) << " \"" << job.command << "\" -> " << job.file_name;
}

inline bool operator==(const PlannedJob& a, const PlannedJob& b) {
  return a.kind == b.kind && a.command == b.command && a.file_name == b.file_name;
}

namespace {

using samplers_test::options_from;
using Jobs = std::vector<PlannedJob>;

constexpr JobKind kCommand = JobKind::kControllerCommand;

// A controller of `release` (mapped by the real release switches), with
// `cpu_class` processors' class, iSCSI and FCP licences as given, and vifs.
struct Controller {
  std::string release = "MERIX7.3.5";
  int cpu_class = 2;
  bool iscsi = true;
  bool fcp = false;
  std::vector<std::string> vifs = {"vif0", "vif1"};
};

Jobs jobs_for(const std::vector<std::string>& args, const Controller& c) {
  options_from(args);
  core::RunState& st = core::state();
  st.options.forced_os = c.release;
  core::FilerTarget filer;
  filer.name = "c1";
  controller::apply_release(filer, "");
  filer.vifs = c.vifs;
  core::CurrentServices services;
  services.cpu_class = c.cpu_class;
  services.flags.svc_iscsi = c.iscsi ? 1 : 0;
  services.flags.svc_fcp = c.fcp ? 1 : 0;
  return filer_sampler_jobs(st.options, filer, services);
}

std::vector<std::string> files(const Jobs& jobs) {
  std::vector<std::string> names;
  for (const PlannedJob& job : jobs) names.push_back(job.file_name);
  return names;
}

TEST(SamplerTable, EveryRowForAMultiProcessorController) {
  EXPECT_EQ(
      jobs_for({"-t", "2"}, Controller{}),
      (Jobs{{kCommand, "sysstat -s -c 11 -x 10", "sysstat.out"},
            {kCommand, "sysstat -s -c 110 -x 1", "sysstat_1sec.out"},
            {kCommand, "sysstat -M -s -c 11 10", "sysstatM.out"},
            {kCommand, "priv set admin; stats show -r -i 10 -n 11 system nfsv3 cifs fcp iscsi",
             "protocol_stats.out"},
            {kCommand,
             "priv set diag; stats show -r -i 10 -n 11 system:system:time "
             "processor:*:domain_busy processor:*:processor_busy",
             "domain_stats.out"},
            {kCommand, "lun stats -c 11 -i 10 -o", "lun_stats.out"},
            {kCommand, "vif stat vif0", "vifstat_vif0.out"},
            {kCommand, "vif stat vif1", "vifstat_vif1.out"},
            {JobKind::kStatitStutter, "", "statit.out"}}));
}

TEST(SamplerTable, ReleasesDecideTheirRows) {
  Controller c;
  c.release = "MERIX8.1.1";
  EXPECT_EQ(jobs_for({"-t", "2"}, c)[1],
            (PlannedJob{kCommand, "priv set diag;sysstat -s -c 110 -x -d 1", "sysstat_1sec.out"}));

  c.release = "MERIX7.2";  // stats, but no domain statistics
  EXPECT_EQ(files(jobs_for({"-t", "2"}, c)),
            (std::vector<std::string>{"sysstat.out", "sysstat_1sec.out", "sysstatM.out",
                                      "protocol_stats.out", "lun_stats.out", "vifstat_vif0.out",
                                      "vifstat_vif1.out", "statit.out"}));

  c.release = "MERIX7.0";  // no stats instances; statit once, still started
  EXPECT_EQ(
      files(jobs_for({"-t", "2"}, c)),
      (std::vector<std::string>{"sysstat.out", "sysstat_1sec.out", "sysstatM.out", "lun_stats.out",
                                "vifstat_vif0.out", "vifstat_vif1.out", "statit.out"}));

  // A long run on such a release has no statit at all.
  Jobs long_run = jobs_for({"-t", "60", "-i", "20"}, c);
  EXPECT_EQ(long_run.back().file_name, "vifstat_vif1.out");
}

TEST(SamplerTable, ProcessorsServicesAndVifs) {
  Controller c;
  c.cpu_class = 1;
  c.iscsi = false;
  c.vifs = {};
  EXPECT_EQ(files(jobs_for({"-t", "2"}, c)),
            (std::vector<std::string>{"sysstat.out", "sysstat_1sec.out", "protocol_stats.out",
                                      "domain_stats.out", "statit.out"}));
  c.fcp = true;
  c.vifs = {"trunk0"};
  Jobs jobs = jobs_for({"-t", "2"}, c);
  EXPECT_EQ(jobs[4], (PlannedJob{kCommand, "lun stats -c 11 -i 10 -o", "lun_stats.out"}));
  EXPECT_EQ(jobs[5], (PlannedJob{kCommand, "vif stat trunk0", "vifstat_trunk0.out"}));
}

TEST(SamplerTable, ModesChangeTheRows) {
  // -t 1: the per-second sysstat is row 1 itself.
  Jobs one_minute = jobs_for({"-t", "1"}, Controller{});
  EXPECT_EQ(one_minute[0], (PlannedJob{kCommand, "sysstat -s -c 58 -x 1", "sysstat.out"}));
  EXPECT_NE(files(one_minute)[1], "sysstat_1sec.out");

  // -y: the per-second sysstat takes C samples; per-processor sysstat and
  // statit stay; nothing else.
  EXPECT_EQ(jobs_for({"-t", "2", "-y"}, Controller{}),
            (Jobs{{kCommand, "sysstat -s -c 11 -x 1", "sysstat_1sec.out"},
                  {kCommand, "sysstat -M -s -c 11 10", "sysstatM.out"},
                  {JobKind::kStatitStutter, "", "statit.out"}}));
}

TEST(SamplerTable, HostCounterJobs) {
  EXPECT_EQ(host_sampler_jobs(options_from({"-t", "2"})),
            (Jobs{{JobKind::kHostCounters, "system", "system_perfmon.out"},
                  {JobKind::kHostCounters, "ldisk", "ldisk_perfmon.out"}}));
  EXPECT_EQ(host_sampler_jobs(options_from({"-c"})), Jobs{});
}

}  // namespace
}  // namespace samplers
