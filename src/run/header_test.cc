#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "core/state.h"
#include "run/header_internal.h"
#include "run/options_internal.h"
#include "run/test_streams.h"

namespace run {
namespace {

// Parses `args` on a fresh record and returns the header it leads to.
std::string header_for(const std::vector<std::string>& args, const std::string& os = "Windows_NT") {
  core::reset_state();
  core::state().host_name = "HOST1";
  std::FILE* sink = std::tmpfile();
  ParseOutcome outcome = parse_arguments(args, sink, sink);
  std::fclose(sink);
  EXPECT_FALSE(outcome.exit);
  std::FILE* out = std::tmpfile();
  write_run_header(out, args, os);
  return read_all(out);
}

std::string line_of(const std::string& text, const std::string& key) {
  size_t at = text.find("\n" + key);
  if (at == std::string::npos) return "";
  size_t end = text.find('\n', at + 1);
  return text.substr(at + 1, end - at - 1);
}

TEST(HeaderBlock, DefaultRunWithOneController) {
  EXPECT_EQ(header_for({"-f", "c1"}),
            "*------------- Kestrel v7.38 -------------*\n"
            "APP_NAME,            default,    \"\"\n"
            "CONFIG_ONLY,         default,    \"FALSE\"\n"
            "DEBUG,               default,    \"FALSE\"\n"
            "FILER_TARGETS,       set,        \"c1\"\n"
            "FILER_ONLY,          default,    \"FALSE\"\n"
            "ITERATIONS,          default,    \"1\"\n"
            "ITER_INTERVAL,       default,    \"0\"\n"
            "FORCE_ITERATIONS,    default,    \"FALSE\"\n"
            "FILER_LOGIN,         default,    \"root\"\n"
            "FORCED_OS,           default,    \"\"\n"
            "DO_VZONE,            default,    \"TRUE\"\n"
            "APP_PARAM,           default,    \"\"\n"
            "PERF_ONLY,           default,    \"FALSE\"\n"
            "QUIET,               default,    \"FALSE\"\n"
            "TIME,                default,    \"2\"\n"
            "PRETEND,             default,    \"FALSE\"\n"
            "LOGS,                default,    \"FALSE\"\n"
            "PROFILES,            default,    \"FALSE\"\n"
            "EXCLUDE,             default,    \"FALSE\"\n"
            "STUTTER STATIT,      default,    \"TRUE\"\n"
            "FULL_STUTTER STATIT, default,    \"FALSE\"\n"
            "SSH,                 default,    \"FALSE\"\n"
            "SKTRACE,             default,    \"FALSE\"\n"
            "CMD_TIMEOUT,         default,    \"70\"\n"
            "\n"
            "SOURCE_HOST_NAME,    HOST1\n"
            "SOURCE_HOST_OS,      Windows_NT\n"
            "COMMAND_LINE,       -f c1 \n"
            "\n"
            "SAMPLES,            12\n"
            "SAMPLE_INTERVAL,    10\n"
            "\n");
}

TEST(HeaderBlock, RunWithManyOptionsSet) {
  EXPECT_EQ(
      header_for({"-f", "c1,c2", "-f",   "c3",  "-t",         "5",   "-i",       "3,10", "-I",
                  "-C", "90",    "-a",   "app", "-o",         "x=1", "-O",       "8.1",  "-V",
                  "-c", "-d",    "-q",   "-x",  "-L",         "-P",  "flat",     "-E",   "snap",
                  "-K", "-T",    "SK,7", "-l",  "admin:pw42", "-S",  "kf:id.ppk"},
                 "Linux"),
      "*------------- Kestrel v7.38 -------------*\n"
      "APP_NAME,            set,        \"app\"\n"
      "CONFIG_ONLY,         set,        \"TRUE\"\n"
      "DEBUG,               set,        \"TRUE\"\n"
      "FILER_TARGETS,       set,        \"c1,c2,c3\"\n"
      "FILER_ONLY,          default,    \"FALSE\"\n"
      "ITERATIONS,          set,        \"3\"\n"
      "ITER_INTERVAL,       set,        \"10\"\n"
      "FORCE_ITERATIONS,    set,        \"TRUE\"\n"
      "FILER_LOGIN,         set,        \"admin:****\"\n"
      "FORCED_OS,           set,        \"8.1\"\n"
      "DO_VZONE,            set,        \"FALSE\"\n"
      "APP_PARAM,           set,        \"x=1\"\n"
      "PERF_ONLY,           default,    \"FALSE\"\n"
      "QUIET,               set,        \"TRUE\"\n"
      "TIME,                set,        \"5\"\n"
      "PRETEND,             set,        \"TRUE\"\n"
      "LOGS,                set,        \"TRUE\"\n"
      "PROFILES,            set,        \"TRUE\"\n"
      "EXCLUDE,             set,        \"TRUE\"\n"
      "STUTTER STATIT,      default,    \"TRUE\"\n"
      "FULL_STUTTER STATIT, set,        \"TRUE\"\n"
      "SSH,                 set,        \"TRUE\"\n"
      "SKTRACE,             set,        \"TRUE\"\n"
      "CMD_TIMEOUT,         set,        \"90\"\n"
      "\n"
      "SOURCE_HOST_NAME,    HOST1\n"
      "SOURCE_HOST_OS,      Linux\n"
      "COMMAND_LINE,       -f c1,c2 -f c3 -t 5 -i 3,10 -I -C 90 -a app -o x=1 -O 8.1 -V -c "
      "-d -q -x -L -P flat -E snap -K -T SK,7 -l admin:**** -S kf:id.ppk \n"
      "\n"
      "SAMPLES,            29\n"
      "SAMPLE_INTERVAL,    10\n"
      "\n");
}

TEST(HeaderBlock, PasswordsAreMaskedWithEqualLength) {
  std::string text = header_for({"-f", "c1", "-S", "pw:s3cr3t"});
  EXPECT_EQ(line_of(text, "COMMAND_LINE,"), "COMMAND_LINE,       -f c1 -S pw:****** ");
  EXPECT_EQ(line_of(text, "FILER_LOGIN,"), "FILER_LOGIN,         default,    \"root\"");
  EXPECT_EQ(text.find("s3cr3t"), std::string::npos);

  text = header_for({"-f", "c1", "-l", "ops:abc"});
  EXPECT_EQ(line_of(text, "FILER_LOGIN,"), "FILER_LOGIN,         set,        \"ops:***\"");
  EXPECT_EQ(line_of(text, "COMMAND_LINE,"), "COMMAND_LINE,       -f c1 -l ops:*** ");

  // An empty password leaves everything as it was typed.
  text = header_for({"-f", "c1", "-S", "pw:", "-l", "ops"});
  EXPECT_EQ(line_of(text, "COMMAND_LINE,"), "COMMAND_LINE,       -f c1 -S pw: -l ops ");
  EXPECT_EQ(line_of(text, "FILER_LOGIN,"), "FILER_LOGIN,         set,        \"ops\"");
}

TEST(HeaderBlock, CriticalModeAndHostOnlyFlags) {
  std::string text = header_for({"-f", "c1", "-y"});
  EXPECT_EQ(line_of(text, "FILER_ONLY,"), "FILER_ONLY,          set,        \"TRUE\"");
  EXPECT_EQ(line_of(text, "PERF_ONLY,"), "PERF_ONLY,           set,        \"TRUE\"");
  EXPECT_EQ(line_of(text, "STUTTER STATIT,"), "STUTTER STATIT,      set,        \"FALSE\"");

  text = header_for({"-f", "c1", "-F"});
  EXPECT_EQ(line_of(text, "FILER_ONLY,"), "FILER_ONLY,          set,        \"TRUE\"");
  EXPECT_EQ(line_of(text, "STUTTER STATIT,"), "STUTTER STATIT,      default,    \"TRUE\"");
}

TEST(HeaderBlock, TimeoutIsDefaultWhenGivenAsSeventy) {
  EXPECT_EQ(line_of(header_for({"-C", "70"}), "CMD_TIMEOUT,"),
            "CMD_TIMEOUT,         default,    \"70\"");
  EXPECT_EQ(line_of(header_for({"-C", "90"}), "CMD_TIMEOUT,"),
            "CMD_TIMEOUT,         set,        \"90\"");
  EXPECT_EQ(line_of(header_for({"-C", "1"}), "CMD_TIMEOUT,"),
            "CMD_TIMEOUT,         set,        \"1\"");
}

TEST(HeaderBlock, SamplingLinesFollowTheParsedValues) {
  std::string text = header_for({"-t", "3", "-H", "5"});
  EXPECT_EQ(line_of(text, "TIME,"), "TIME,                set,        \"3\"");
  EXPECT_EQ(line_of(text, "SAMPLES,"), "SAMPLES,            32");
  EXPECT_EQ(line_of(text, "SAMPLE_INTERVAL,"), "SAMPLE_INTERVAL,    5");
}

TEST(HeaderBlock, UnknownOperatingSystem) {
  std::string text = header_for({"-p"}, "");
  EXPECT_EQ(line_of(text, "SOURCE_HOST_OS,"), "SOURCE_HOST_OS,      unknown");
  EXPECT_EQ(line_of(text, "FILER_TARGETS,"), "FILER_TARGETS,       default,    \"\"");
}

}  // namespace
}  // namespace run
