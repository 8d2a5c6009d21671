#include "samplers/sktrace.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/platform.h"
#include "samplers/samplers_test_support.h"
#include "samplers/wait.h"

namespace samplers {
namespace {

using samplers_test::options_from;
using Names = std::vector<std::string>;

std::string with_separator(std::string path) {
  for (char& c : path) {
    if (c == '/') c = platform::shell::path_separator();
  }
  return path;
}

TEST(TraceTime, FortyFiveSecondsUpToAMinuteOfSampling) {
  EXPECT_EQ(trace_seconds(options_from({"-t", "1", "-T", "default"}).sampling_seconds), 45);
  EXPECT_EQ(trace_seconds(options_from({"-t", "2", "-T", "default"}).sampling_seconds), 60);
  EXPECT_EQ(trace_seconds(50), 45);
  EXPECT_EQ(trace_seconds(60), 45);
  EXPECT_EQ(trace_seconds(61), 60);
}

TEST(TraceModules, ModuleNamesOnlyNeverTheLevels) {
  EXPECT_EQ(trace_modules("SK 7 FSYS 4"), (Names{"SK", "FSYS"}));
  const core::RunOptions& o = options_from({"-T", "SK,7,DISK,4"});
  EXPECT_TRUE(o.disk_mapping);
  EXPECT_EQ(trace_modules(o.sktrace_points), (Names{"SK", "DISK"}));
  EXPECT_EQ(trace_modules(options_from({"-T", "default"}).sktrace_points), (Names{"SK", "FSYS"}));
  EXPECT_EQ(trace_modules("SK"), Names{"SK"});
  EXPECT_EQ(trace_modules(""), Names{});
}

TEST(TracePaths, CaptureLogAndDestinationFolder) {
  EXPECT_EQ(trace_log_path(with_separator("/tmp/kestrel/42/"), "f1"),
            with_separator("/tmp/kestrel/42/f1/sktrace_info.txt"));
  EXPECT_EQ(trace_destination("f1", 2, "1261171853"),
            with_separator("./f1_ITR_2_1261171853_sktrace/"));
}

TEST(TraceGates, OnlyWhenTracesAreSampledOnThisController) {
  core::FilerTarget filer;
  EXPECT_TRUE(sktrace_wanted(options_from({"-T", "default", "-f", "c1"}), filer));
  EXPECT_FALSE(sktrace_wanted(options_from({"-f", "c1"}), filer));
  EXPECT_FALSE(sktrace_wanted(options_from({"-T", "default", "-x", "-f", "c1"}), filer));
  EXPECT_FALSE(sktrace_wanted(options_from({"-T", "default", "-t", "0", "-f", "c1"}), filer));
  filer.sktrace_off = true;
  EXPECT_FALSE(sktrace_wanted(options_from({"-T", "default", "-f", "c1"}), filer));
}

// Trace points and buffer sizes that the interpreter would act on are
// refused before anything runs: no command, no worker, no folder.
TEST(TraceGates, ValuesACommandLineCannotCarryAreRefused) {
  // Points and buffer as they would stand after the command line, had it
  // let them through.
  const std::vector<std::vector<std::string>> values = {
      {" SK 7&calc", "40m"}, {" SK \"7", "40m"}, {" SK 7", "4m&x"}, {" %X% 1", "40m"}};
  for (const std::vector<std::string>& args : values) {
    options_from({"-T", "SK,7", "-f", "c1"});
    core::RunState& st = core::state();
    st.options.sktrace_points = args[0];
    st.options.sktrace_buffer = args[1];
    st.filers.emplace_back();
    st.filers.back().name = "c1";
    core::Collection collection;
    collection.filer = &st.filers[0];
    testing::internal::CaptureStderr();
    setup_sktrace(collection);
    collect_sktrace_files(collection);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("kernel traces are not captured"), std::string::npos) << args[1];
    EXPECT_EQ(background_thread_count(), 0) << args[1];
    EXPECT_TRUE(st.filers[0].temp_files.empty()) << args[1];
  }
}

}  // namespace
}  // namespace samplers
