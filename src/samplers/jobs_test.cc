// The command of a sampler and the cap of the file it writes.
#include "samplers/jobs.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "core/state.h"
#include "core/test_scratch.h"
#include "exec/outside_text.h"
#include "platform/platform.h"
#include "platform/threads.h"

namespace samplers {
namespace {

namespace fs = std::filesystem;

std::string text_of(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A controller that floods its sampler's file: the file never holds more
// than one byte past the cap while the command runs (where the system bounds
// the writer), then is cut back with a note.
TEST(JobCommand, AFloodIsBoundedWhileItIsWrittenAndCutAfterwards) {
  if (!platform::child_file_cap_enforced()) GTEST_SKIP() << "the system does not bound writers";
  core::reset_state();
  const fs::path dir = core::test_scratch("jobs", "flood");
  BackgroundJob job;
  job.output_path = (dir / "vif_e0a.out").string();
  job.stop = platform::create_stop_signal();
  job.deadline_ms = platform::monotonic_ms() + 60000;
  const std::uintmax_t flood = exec::kControllerFileCap + (1 << 20);
  // What the file held once the writer had ended, seen by the command itself.
  const std::string line = "head -c " + std::to_string(flood) + " /dev/zero >> '" +
                           job.output_path + "'; stat -c %s '" + job.output_path + "' > '" +
                           (dir / "size").string() + "'";
  int error_code = 0;
  EXPECT_EQ(run_job_command(job, line, "vif stat e0a", error_code), ChildOutcome::kCapped);
  std::ifstream size_in(dir / "size");
  std::uintmax_t size_seen = 0;
  size_in >> size_seen;
  EXPECT_EQ(size_seen, exec::kControllerFileCap + 1);
  const std::string text = text_of(job.output_path);
  EXPECT_LE(text.size(), exec::kControllerFileCap + 200);
  EXPECT_NE(text.find("WARNING: The sampler vif stat e0a sent more than"), std::string::npos);
  platform::close_stop_signal(job.stop);
  fs::remove_all(dir);
}

}  // namespace
}  // namespace samplers
