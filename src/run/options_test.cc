#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "core/state.h"
#include "run/options_internal.h"
#include "run/test_streams.h"
#include "run/usage_internal.h"

namespace run {
namespace {

const char kReview[] = "Kestrel: Please review the help menu using: 'kestrel.exe help'\n";

struct Result {
  ParseOutcome outcome;
  std::string out;
  std::string err;
};

// Parses `args` on a fresh record, capturing both streams.
Result parse(const std::vector<std::string>& args) {
  core::reset_state();
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  Result result;
  result.outcome = parse_arguments(args, out, err);
  result.out = read_all(out);
  result.err = read_all(err);
  return result;
}

// Parses `args`, then checks for conflicts when the parse lets the run go on.
Result parse_and_check(const std::vector<std::string>& args) {
  Result result = parse(args);
  if (result.outcome.exit) return result;
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  result.outcome = find_option_conflicts(out, err);
  result.out += read_all(out);
  result.err += read_all(err);
  return result;
}

void expect_continues(const Result& result) {
  EXPECT_FALSE(result.outcome.exit) << result.err;
}

void expect_exit(const Result& result, int status) {
  EXPECT_TRUE(result.outcome.exit);
  EXPECT_EQ(result.outcome.status, status);
}

std::string names(int first, int count) {
  std::string text;
  for (int i = first; i < first + count; ++i)
    text += (text.empty() ? "c" : ",c") + std::to_string(i);
  return text;
}

// ------------------------------------------------------------------ scan

TEST(OptionsScan, HelpInAnyArgumentPrintsUsageAndEndsWithZero) {
  for (std::vector<std::string> args : std::vector<std::vector<std::string>>{
           {"help"}, {"-f", "helpdesk1"}, {"-t", "5", "--helpme"}, {"xhelpx"}}) {
    Result r = parse(args);
    expect_exit(r, 0);
    EXPECT_EQ(r.out, usage_text());
    EXPECT_EQ(r.err, "");
  }
}

TEST(OptionsScan, ArgumentsAreActedOnInOrderSoAnEarlierErrorBeatsHelp) {
  Result r = parse({"-t5", "help"});
  expect_exit(r, 1);
  EXPECT_EQ(r.out, "");
  r = parse({"-f", "c1", "-t", "2", "help", "-t5"});
  expect_exit(r, 0);
}

TEST(OptionsScan, WithoutACountingOptionPrintsUsageAndEndsWithOne) {
  for (std::vector<std::string> args : std::vector<std::vector<std::string>>{
           {}, {"-z"}, {"--kill_all"}, {"stray", "words"}, {"-z", "--skip_vifs", "x"}}) {
    Result r = parse(args);
    expect_exit(r, 1);
    EXPECT_EQ(r.out, usage_text());
  }
  expect_continues(parse({"stray", "-p"}));
}

TEST(OptionsScan, LongWordsAreFoundBySubstringInOrder) {
  Result r = parse({"--kill_all", "--xkill_treex", "--skip_vifs", "-p"});
  expect_continues(r);
  EXPECT_TRUE(core::state().options.kill_all);
  EXPECT_TRUE(core::state().options.kill_tree);
  EXPECT_TRUE(core::state().options.skip_vifs);
  EXPECT_EQ(r.err,
            "Killing all rsh/plink.exe processes before exiting...\n"
            "Killing root process tree before exiting...\n"
            "Toggling hidden option to skip vif enumeration...\n");

  r = parse({"--kill_all_kill_tree", "-p"});
  EXPECT_TRUE(core::state().options.kill_all);
  EXPECT_FALSE(core::state().options.kill_tree);
}

TEST(OptionsScan, ParallelTakesOneToSixtyFourControllers) {
  Result r = parse({"-f", "c1", "--parallel=16"});
  EXPECT_FALSE(r.outcome.exit) << r.err;
  EXPECT_EQ(core::state().options.parallel, 16);
  EXPECT_EQ(r.err, "Collecting up to 16 controllers at a time...\n");

  r = parse({"--parallel=1", "-f", "c1"});
  EXPECT_FALSE(r.outcome.exit) << r.err;
  EXPECT_EQ(core::state().options.parallel, 1);
  EXPECT_EQ(r.err, "");  // one at a time, as without the option

  r = parse({"--parallel=64"});
  EXPECT_EQ(core::state().options.parallel, 64);

  for (const char* word :
       {"--parallel=0", "--parallel=65", "--parallel=", "--parallel", "--parallel=4x",
        "--parallel=-4", "--parallel=+4", "--parallel=004", "--parallel=4 "}) {
    r = parse({"-f", "c1", word});
    EXPECT_TRUE(r.outcome.exit) << word;
    EXPECT_EQ(r.outcome.status, 1) << word;
    EXPECT_EQ(r.err.rfind("ERROR: --parallel takes the number of controllers", 0), 0u) << r.err;
  }
}

TEST(OptionsScan, LongWordMessagesAreSilencedOnlyByAnEarlierQuiet) {
  Result r = parse({"-q", "--kill_all"});
  expect_continues(r);
  EXPECT_EQ(r.err, "");
  r = parse({"--kill_tree", "-q"});
  EXPECT_EQ(r.err, "Killing root process tree before exiting...\n");
}

TEST(OptionsScan, UnknownWordsAreRejected) {
  Result r = parse({"-p", "--bogus"});
  expect_exit(r, 1);
  EXPECT_EQ(r.err, std::string("kestrel.exe: illegal option --bogus\n") + kReview);
  EXPECT_EQ(r.out, "");

  r = parse({"-Z"});
  expect_exit(r, 1);
  EXPECT_EQ(r.err, std::string("kestrel.exe: illegal option -- Z\n") + kReview);

  r = parse({"-Zoo"});
  EXPECT_EQ(r.err, std::string("kestrel.exe: illegal option -- Z\n") + kReview);

  r = parse({"-"});
  expect_exit(r, 1);
  EXPECT_EQ(r.err, std::string("kestrel.exe: illegal option -\n") + kReview);
}

TEST(OptionsScan, EchoedArgumentsNeverShowAPassword) {
  // The password is known from the scan's start, whatever the order.
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"-f", "c1", "-l", "--u:Sekr3t"},
        std::vector<std::string>{"--u:Sekr3t", "-l", "u:Sekr3t"},
        std::vector<std::string>{"--Sekr3t", "-S", "pw:Sekr3t"},
        std::vector<std::string>{"-f", "c1", "-lroot:Sekr3t"},
        std::vector<std::string>{"-Spw:Sekr3t", "-f", "c1"}}) {
    Result r = parse(args);
    expect_exit(r, 1);
    EXPECT_EQ(r.err.find("Sekr3t"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("******"), std::string::npos) << r.err;
  }
}

TEST(OptionsScan, ValuesBoundForControllerCommandLinesMustBePlain) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"-f", "c1", "-P", "flat,a;reboot"},
        std::vector<std::string>{"-f", "c1", "-T", "SK,7,\"&calc"},
        std::vector<std::string>{"-f", "c1", "-T", "SK,$(id)"},
        std::vector<std::string>{"-f", "c1", "-B", "40m|x"},
        std::vector<std::string>{"-f", "c1", "-B", "40m,1"}}) {
    Result r = parse(args);
    expect_exit(r, 1);
    EXPECT_NE(r.err.find("value may hold only letters, digits"), std::string::npos) << r.err;
  }
  expect_continues(parse({"-f", "c1", "-P", "flat,raid_1", "-T", "SK,7,DISK,4", "-B", "40m"}));
}

TEST(OptionsScan, OptionWordsMustBeExactlyTwoCharacters) {
  for (const char* word : {"-t5", "-pq", "-ff", "-vv"}) {
    Result r = parse({word, "1"});
    expect_exit(r, 1);
    EXPECT_EQ(r.err, std::string("ERROR: Invalid command line syntax for option: ") + word +
                         "\nPlease separate command-line options and values with a space; e.g., "
                         "-f filer1\n");
    EXPECT_EQ(r.out, "");
  }
}

TEST(OptionsScan, TestReleaseAcceptsAnyWordBeginningWithN) {
  Result r = parse({"-Nrelease", "7.3.5"});
  expect_continues(r);
  EXPECT_EQ(core::state().options.test_release, "7.3.5");
  EXPECT_EQ(r.err, "Kestrel: using test version string: 7.3.5\n");

  r = parse({"-q", "-N", "8.0"});
  EXPECT_EQ(r.err, "Kestrel: using test version string: 8.0\n");
}

TEST(OptionsScan, MissingOrOptionLikeValueIsRejected) {
  const std::string missing_f =
      "ERROR: Command line option '-f' requires an additional argument.\n"
      "Please review help menu for correct syntax for -f option.\n";
  Result r = parse({"-f"});
  expect_exit(r, 1);
  EXPECT_EQ(r.err, missing_f);
  r = parse({"-f", "-t", "5"});
  expect_exit(r, 1);
  EXPECT_EQ(r.err, missing_f);

  r = parse({"-Nx", "-p"});
  expect_exit(r, 1);
  EXPECT_EQ(r.err,
            "ERROR: Command line option '-Nx' requires an additional argument.\n"
            "Please review help menu for correct syntax for -Nx option.\n");
}

TEST(OptionsScan, LongerDashWordsAreValuesAndAreStillScanned) {
  Result r = parse({"-a", "--kill_all"});
  expect_continues(r);
  EXPECT_EQ(core::state().options.app_name, "--kill_all");
  EXPECT_TRUE(core::state().options.kill_all);

  r = parse({"-f", "-"});
  expect_exit(r, 1);
  EXPECT_EQ(r.err, std::string("kestrel.exe: illegal option -\n") + kReview);
}

TEST(OptionsScan, VersionPrintsBannerAndEndsWithZero) {
  Result r = parse({"-v"});
  expect_exit(r, 0);
  EXPECT_EQ(r.err, "Kestrel v7.38 (10-2012)\n");
  EXPECT_EQ(r.out, "");

  r = parse({"-q", "-v"});
  expect_exit(r, 0);
  EXPECT_EQ(r.err, "");

  r = parse({"-v", "-q"});
  expect_exit(r, 0);
  EXPECT_EQ(r.err, "Kestrel v7.38 (10-2012)\n");
  EXPECT_FALSE(core::state().options.quiet);
}

// ------------------------------------------------------------------ values

TEST(OptionsValues, ControllersAreCreatedInCommandLineOrder) {
  expect_continues(parse({"-f", "c1,c2,c3"}));
  ASSERT_EQ(core::state().filers.size(), 3u);
  EXPECT_EQ(core::state().filers[0].name, "c1");
  EXPECT_EQ(core::state().filers[1].name, "c2");
  EXPECT_EQ(core::state().filers[2].name, "c3");
  EXPECT_EQ(core::state().options.filer_targets, "c1,c2,c3");
  EXPECT_TRUE(core::state().options.filers_given);

  expect_continues(parse({"-f", "c1", "-t", "3", "-f", "c2,c3"}));
  ASSERT_EQ(core::state().filers.size(), 3u);
  EXPECT_EQ(core::state().filers[0].name, "c1");
  EXPECT_EQ(core::state().filers[2].name, "c3");
  EXPECT_EQ(core::state().options.filer_targets, "c1,c2,c3");
}

TEST(OptionsValues, ControllerNamesAreNotCheckedForCharacters) {
  expect_continues(parse({"-f", "10.0.0.1,ctl_a.example.com,x y"}));
  ASSERT_EQ(core::state().filers.size(), 3u);
  EXPECT_EQ(core::state().filers[2].name, "x y");
}

// A controller named twice would share its sections, stats instance and
// scratch folder with itself; names are compared as name lookup does.
TEST(OptionsValues, ControllerNamedTwiceIsRefused) {
  struct Case {
    std::vector<std::string> args;
    const char* message;
  };
  const Case cases[] = {
      {{"-f", "a,a"},
       "ERROR: Controller \"a\" is named twice with -f; name each controller once\n"},
      {{"-f", "c1,b", "-f", "c1"},
       "ERROR: Controller \"c1\" is named twice with -f; name each controller once\n"},
      {{"-q", "-f", "Ctl1", "--parallel=4", "-f", "b,cTL1"},
       "ERROR: Controller \"Ctl1\" is named twice with -f (also as \"cTL1\"); name each "
       "controller once\n"},
      {{"-f", "ctl.example.com,ctl.example.com."},
       "ERROR: Controller \"ctl.example.com\" is named twice with -f (also as "
       "\"ctl.example.com.\"); name each controller once\n"},
  };
  for (const Case& c : cases) {
    Result r = parse(c.args);
    expect_exit(r, 1);
    EXPECT_EQ(r.err, c.message);
  }
  expect_continues(parse({"-f", "a,b", "-f", "c,ab"}));
}

TEST(OptionsValues, ControllerNamedLikeTheHostIsRefused) {
  for (const char* name : {"winhost", "WINHOST", "winhost."}) {
    core::reset_state();
    core::state().host_name = "WinHost";
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    ParseOutcome outcome = parse_arguments({"-F", "-f", "c1", "-f", name}, out, err);
    read_all(out);
    EXPECT_TRUE(outcome.exit);
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(read_all(err), std::string("ERROR: Controller \"") + name +
                                 "\" has the name of this host (\"WinHost\"); the report could "
                                 "not tell their sections apart. Name the controller by another "
                                 "of its names or its address\n");
  }
  core::reset_state();
  core::state().host_name = "WinHost";
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  EXPECT_FALSE(parse_arguments({"-f", "winhost2"}, out, err).exit);
  read_all(out);
  read_all(err);
}

// The -m path goes between double quotes into a cmd.exe line.
TEST(OptionsValues, MsinfoPathThatTheInterpreterWouldReadIsRefused) {
  for (const char* path : {"C:\\x.exe\" & calc & \"", "%COMSPEC%", "a\nb", "a\x1b[2Jb"}) {
    Result r = parse({"-f", "c1", "-m", path});
    expect_exit(r, 1);
    EXPECT_NE(r.err.find("ERROR: The -m path may not hold a double quote, a percent sign or a "
                         "control character: "),
              std::string::npos)
        << r.err;
    EXPECT_EQ(r.err.find('\x1b'), std::string::npos);
  }
  expect_continues(parse({"-f", "c1", "-m", "C:\\Program Files (x86)\\ms&info\\msinfo32.exe"}));
  EXPECT_EQ(core::state().options.msinfo_path, "C:\\Program Files (x86)\\ms&info\\msinfo32.exe");
}

TEST(OptionsValues, LoginWithColonAlsoSetsPassword) {
  expect_continues(parse({"-l", "admin:se:cret"}));
  EXPECT_EQ(core::state().options.login, "admin:se:cret");
  EXPECT_EQ(core::state().options.password, "se:cret");

  expect_continues(parse({"-l", "admin"}));
  EXPECT_EQ(core::state().options.login, "admin");
  EXPECT_EQ(core::state().options.password, "");

  expect_continues(parse({"-l", "admin:"}));
  EXPECT_EQ(core::state().options.password, "");
}

// Every password of the command line is kept for masking, in any order and
// repetition; the -S pw: one is sent, a later -S pw: over an earlier one.
TEST(OptionsValues, EveryPasswordIsKeptAndSPasswordWins) {
  struct Case {
    std::vector<std::string> args;
    const char* sent;
  };
  const Case cases[] = {
      {{"-S", "pw:Sekr1tPW", "-l", "root:SECONDpw2"}, "Sekr1tPW"},
      {{"-l", "root:SECONDpw2", "-S", "pw:Sekr1tPW"}, "Sekr1tPW"},
      {{"-S", "pw:SECONDpw2", "-S", "pw:Sekr1tPW"}, "Sekr1tPW"},
      {{"-l", "root:Sekr1tPW", "-l", "root:SECONDpw2"}, "SECONDpw2"},
      {{"-l", "root:x", "-S", "pw:SECONDpw2", "-l", "root:Sekr1tPW", "-S", "pw:Sekr1tPW"},
       "Sekr1tPW"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = c.args;
    args.insert(args.end(), {"-f", "c"});
    expect_continues(parse(args));
    const core::RunOptions& o = core::state().options;
    EXPECT_EQ(o.password, c.sent) << args[1];
    for (const char* secret : {"Sekr1tPW", "SECONDpw2"}) {
      bool held = false;
      for (const std::string& arg : args) held = held || arg.find(secret) != std::string::npos;
      bool kept = std::find(o.secrets.begin(), o.secrets.end(), secret) != o.secrets.end();
      EXPECT_EQ(kept, held) << secret;
    }
    for (size_t i = 1; i < o.secrets.size(); ++i) {
      EXPECT_GE(o.secrets[i - 1].size(), o.secrets[i].size());
      EXPECT_NE(o.secrets[i - 1], o.secrets[i]);
    }
    if (o.use_password) {
      EXPECT_EQ(o.credential, c.sent);
    }
  }
}

TEST(OptionsValues, LoginNeedsAUserName) {
  for (const char* login : {"", ":pw"}) {
    Result r = parse({"-f", "c", "-l", login});
    expect_exit(r, 1);
    EXPECT_NE(r.err.find("-l value needs a user name"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find(":pw"), std::string::npos) << r.err;
  }
}

TEST(OptionsValues, CredentialsTakePasswordOrKeyFile) {
  expect_continues(parse({"-S", "pw:hunter2"}));
  const core::RunOptions& o = core::state().options;
  EXPECT_TRUE(o.ssh);
  EXPECT_TRUE(o.use_password);
  EXPECT_EQ(o.password, "hunter2");
  EXPECT_EQ(o.credential, "hunter2");
  EXPECT_FALSE(o.key_file_given);

  expect_continues(parse({"-S", "kf:C:\\keys\\id.ppk"}));
  EXPECT_TRUE(core::state().options.ssh);
  EXPECT_FALSE(core::state().options.use_password);
  EXPECT_EQ(core::state().options.credential, "C:\\keys\\id.ppk");
  EXPECT_EQ(core::state().options.password, "");
  EXPECT_TRUE(core::state().options.key_file_given);

  expect_continues(parse({"-S", "pw:"}));
  EXPECT_TRUE(core::state().options.use_password);
  EXPECT_EQ(core::state().options.password, "");
}

TEST(OptionsValues, CredentialsWithoutPrefixAreRejectedWithUsage) {
  for (const char* value : {"secret", "PW:x", "pw", "kf"}) {
    Result r = parse({"-f", "c1", "-S", value});
    expect_exit(r, 1);
    EXPECT_EQ(r.err,
              "ERROR: Please specify either password with '-S pw:password' or keyfile with "
              "'-S kf:keyfile'\n");
    EXPECT_EQ(r.out, usage_text());
  }
}

TEST(OptionsValues, SshExeNeedsTheLastCredentialToBeAKeyFile) {
  const std::string message =
      std::string("ERROR: Please specify '-S kf:keyfile' along with '-g' option\n") + kReview;
  Result r = parse({"-g"});
  expect_exit(r, 1);
  EXPECT_EQ(r.err, message);
  EXPECT_EQ(r.out, "");

  r = parse({"-g", "-S", "pw:x"});
  expect_exit(r, 1);
  EXPECT_EQ(r.err, message);

  r = parse({"-S", "kf:key", "-S", "pw:x", "-g"});
  expect_exit(r, 1);

  r = parse({"-g", "-S", "kf:key"});
  expect_continues(r);
  EXPECT_TRUE(core::state().options.use_ssh_exe);
}

TEST(OptionsValues, IntegersAreWholeDecimalNumbers) {
  expect_continues(parse({"-C", "90"}));
  EXPECT_EQ(core::state().options.command_timeout_ms, 90000);
  expect_continues(parse({"-w", "10"}));
  EXPECT_EQ(core::state().options.max_run_seconds, 600);
  expect_continues(parse({"-t", "04"}));
  EXPECT_EQ(core::state().options.sample_minutes, 4);
  expect_continues(parse({"-i", "4,15"}));
}

// Anything but digits, or a number out of range, is refused with the range,
// never read by its leading digits nor clamped.
TEST(OptionsValues, MalformedOrOutOfRangeNumbersAreRefused) {
  struct Case {
    std::vector<std::string> args;
    const char* message;
  };
  const Case cases[] = {
      {{"-C", "0"}, "ERROR: The -C value must be a number of seconds from 1 to 2147483: 0\n"},
      {{"-C", "12abc"},
       "ERROR: The -C value must be a number of seconds from 1 to 2147483: 12abc\n"},
      {{"-C", "abc"}, "ERROR: The -C value must be a number of seconds from 1 to 2147483: abc\n"},
      {{"-t", "1x"}, "ERROR: The -t value must be a number of minutes from 0 to 35791393: 1x\n"},
      {{"-t", "0x10"},
       "ERROR: The -t value must be a number of minutes from 0 to 35791393: 0x10\n"},
      {{"-t", " 4"}, "ERROR: The -t value must be a number of minutes from 0 to 35791393:  4\n"},
      {{"-t", "+4"}, "ERROR: The -t value must be a number of minutes from 0 to 35791393: +4\n"},
      {{"-t", ""}, "ERROR: The -t value must be a number of minutes from 0 to 35791393: \n"},
      {{"-w", "5m"}, "ERROR: The -w value must be a number of minutes from 0 to 35791394: 5m\n"},
      {{"-H", "5.0"},
       "ERROR: The -H value must be a number of seconds from 1 to 2147483647: 5.0\n"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = c.args;
    args.insert(args.end(), {"-f", "c1"});
    Result r = parse(args);
    expect_exit(r, 1);
    EXPECT_EQ(r.err, c.message);
  }
  const std::string iterations =
      "ERROR: The -i value must be a number of iterations from 1 to 2147483647, optionally "
      "followed by a comma and the minutes between them, from 0 to 35791394: ";
  for (const char* value : {"0", "99999999999999", "2147483648", "4,35791395", "4,", "4,1,2", ",5",
                            "4x", "4,-1", "0x4", "4,1m"}) {
    Result r = parse({"-f", "c1", "-i", value});
    expect_exit(r, 1);
    EXPECT_EQ(r.err, iterations + value + "\n");
  }
}

TEST(OptionsValues, IterationsTakeCountAndOptionalPause) {
  expect_continues(parse({"-i", "4"}));
  EXPECT_EQ(core::state().options.iterations, 4);
  EXPECT_EQ(core::state().options.iter_interval, 0);

  expect_continues(parse({"-i", "4,15"}));
  EXPECT_EQ(core::state().options.iterations, 4);
  EXPECT_EQ(core::state().options.iter_interval, 15);

  expect_continues(parse({"-i", "3,0"}));
  EXPECT_EQ(core::state().options.iter_interval, 0);

  expect_continues(parse({"-i", "2147483647,35791394"}));
  EXPECT_EQ(core::state().options.iterations, 2147483647);
  EXPECT_EQ(core::state().options.iter_interval, 35791394);
}

TEST(OptionsValues, SwitchesSetTheirFields) {
  struct Case {
    const char* word;
    bool core::RunOptions::*field;
    bool expected;
  };
  const Case cases[] = {
      {"-c", &core::RunOptions::config_only, true},
      {"-d", &core::RunOptions::debug, true},
      {"-F", &core::RunOptions::collect_host, false},
      {"-I", &core::RunOptions::force_iterations, true},
      {"-K", &core::RunOptions::full_stutter_statit, true},
      {"-k", &core::RunOptions::stutter_statit, false},
      {"-L", &core::RunOptions::logs, true},
      {"-p", &core::RunOptions::perf_only, true},
      {"-q", &core::RunOptions::quiet, true},
      {"-V", &core::RunOptions::do_vzone, false},
      {"-x", &core::RunOptions::pretend, true},
  };
  for (const Case& c : cases) {
    expect_continues(parse({c.word}));
    EXPECT_EQ(core::state().options.*c.field, c.expected) << c.word;
  }
}

TEST(OptionsValues, CriticalModeSetsFourFields) {
  expect_continues(parse({"-y"}));
  const core::RunOptions& o = core::state().options;
  EXPECT_TRUE(o.critical_only);
  EXPECT_FALSE(o.collect_host);
  EXPECT_FALSE(o.stutter_statit);
  EXPECT_TRUE(o.perf_only);
}

TEST(OptionsValues, ZModeSetsPerfOnlyButDoesNotCount) {
  expect_continues(parse({"-z", "-V"}));
  EXPECT_TRUE(core::state().options.z_mode);
  EXPECT_TRUE(core::state().options.perf_only);
}

TEST(OptionsValues, TextValuesAreKeptAsGiven) {
  expect_continues(parse(
      {"-a", "app", "-o", "p1 p2", "-m", "D:\\ms.exe", "-M", "NFS", "-O", "8.1.2", "-B", "512k"}));
  const core::RunOptions& o = core::state().options;
  EXPECT_EQ(o.app_name, "app");
  EXPECT_EQ(o.app_param, "p1 p2");
  EXPECT_EQ(o.msinfo_path, "D:\\ms.exe");
  EXPECT_EQ(o.mode, "NFS");
  EXPECT_TRUE(o.mode_given);
  EXPECT_EQ(o.forced_os, "8.1.2");
  EXPECT_EQ(o.sktrace_buffer, "512k");
}

TEST(OptionsValues, ListsAppendAcrossRepeatsAndDropEmptyItems) {
  expect_continues(parse({"-E", "snap,,vol", "-E", "snap list -v", "-P", "flat", "-P", "a,b"}));
  const core::RunOptions& o = core::state().options;
  EXPECT_EQ(o.exclude_patterns, (std::vector<std::string>{"snap", "vol", "snap list -v"}));
  EXPECT_TRUE(o.exclude_given);
  EXPECT_EQ(o.profiles, (std::vector<std::string>{"flat", "a", "b"}));
  EXPECT_EQ(o.profile_list, "flat,a,b");
  EXPECT_TRUE(o.profiles_given);
}

// ------------------------------------------------------------------ sampling

TEST(OptionsSampling, DefaultsWithoutTime) {
  expect_continues(parse({"-p"}));
  const core::RunOptions& o = core::state().options;
  EXPECT_EQ(o.sample_minutes, 2);
  EXPECT_EQ(o.sample_interval, 10);
  EXPECT_EQ(o.sample_count, 12);
  EXPECT_EQ(o.sampling_seconds, 118);
  EXPECT_TRUE(o.sampling_enabled);
}

TEST(OptionsSampling, TimeDerivesIntervalAndCountAtEveryBoundary) {
  struct Case {
    const char* minutes;
    int interval;
    int count;
    int seconds;
  };
  const Case cases[] = {
      {"0", 10, -1, -10},  {"1", 1, 58, 50},    {"2", 10, 11, 110},
      {"5", 10, 29, 290},  {"6", 30, 11, 350},  {"7", 30, 13, 410},
      {"10", 30, 19, 590}, {"11", 60, 10, 650}, {"20", 60, 19, 1190},
  };
  for (const Case& c : cases) {
    expect_continues(parse({"-t", c.minutes}));
    const core::RunOptions& o = core::state().options;
    EXPECT_EQ(o.sample_interval, c.interval) << "-t " << c.minutes;
    EXPECT_EQ(o.sample_count, c.count) << "-t " << c.minutes;
    EXPECT_EQ(o.sampling_seconds, c.seconds) << "-t " << c.minutes;
    EXPECT_EQ(o.sampling_enabled, std::string(c.minutes) != "0") << "-t " << c.minutes;
  }
}

TEST(OptionsSampling, ExplicitIntervalRecomputesCountInEitherOrder) {
  for (std::vector<std::string> args :
       std::vector<std::vector<std::string>>{{"-t", "3", "-H", "5"}, {"-H", "5", "-t", "3"}}) {
    expect_continues(parse(args));
    EXPECT_EQ(core::state().options.sample_interval, 5);
    EXPECT_EQ(core::state().options.sample_count, 32);
    EXPECT_TRUE(core::state().options.interval_given);
  }
  // Reserve per sampling length: 2 s for one minute, 10, 20, then 60.
  expect_continues(parse({"-t", "1", "-H", "2"}));
  EXPECT_EQ(core::state().options.sample_count, 24);
  expect_continues(parse({"-t", "7", "-H", "10"}));
  EXPECT_EQ(core::state().options.sample_count, 39);
  expect_continues(parse({"-H", "30", "-t", "20"}));
  EXPECT_EQ(core::state().options.sample_count, 37);
  expect_continues(parse({"-H", "7"}));
  EXPECT_EQ(core::state().options.sample_count, 15);
}

TEST(OptionsSampling, DebugPrintsTheSamplingPlan) {
  Result r = parse({"-d", "-t", "3", "-H", "5"});
  expect_continues(r);
  EXPECT_EQ(r.err,
            "DEBUG: Per-second sampling frequency: 5\n"
            "DEBUG: Total number of samples: 32\n"
            "DEBUG: Length of sampling time per itreration (seconds): 170\n"
            "DEBUG: Total length of iteration (seconds): 190\n");
}

TEST(OptionsSampling, NonPositiveIntervalIsRejectedBeforeDividing) {
  for (const char* value : {"0", "abc", " -5"}) {
    Result r = parse({"-t", "3", "-H", value});
    expect_exit(r, 1);
    EXPECT_EQ(r.err, std::string("ERROR: The -H value must be a number of seconds from 1 to "
                                 "2147483647: ") +
                         value + "\n");
  }
}

TEST(OptionsSampling, TimesThatCannotBeHeldAreRejected) {
  Result r = parse({"-t", " -3"});
  expect_exit(r, 1);
  EXPECT_EQ(r.err, "ERROR: The -t value must be a number of minutes from 0 to 35791393:  -3\n");
  expect_continues(parse({"-t", "35791393"}));
  EXPECT_EQ(core::state().options.sampling_seconds, 2147483570);
  expect_exit(parse({"-t", "35791394"}), 1);

  expect_continues(parse({"-C", "2147483"}));
  EXPECT_EQ(core::state().options.command_timeout_ms, 2147483000);
  r = parse({"-C", "2147484"});
  expect_exit(r, 1);
  EXPECT_EQ(r.err, "ERROR: The -C value must be a number of seconds from 1 to 2147483: 2147484\n");

  expect_continues(parse({"-w", "35791394"}));
  r = parse({"-w", "99999999999"});
  expect_exit(r, 1);
  EXPECT_EQ(r.err,
            "ERROR: The -w value must be a number of minutes from 0 to 35791394: 99999999999\n");
}

// ------------------------------------------------------------------ sktrace

TEST(OptionsSktrace, ItemsBecomeBlankSeparatedPoints) {
  Result r = parse({"-T", "SK,7,DISK,4"});
  expect_continues(r);
  const core::RunOptions& o = core::state().options;
  EXPECT_TRUE(o.sktrace);
  EXPECT_EQ(o.sktrace_points, " SK 7 DISK 4");
  EXPECT_TRUE(o.disk_mapping);
  EXPECT_EQ(r.err,
            "Toggling disk mapping data collection\n"
            "Using sktrace points:  SK 7 DISK 4\n");
}

TEST(OptionsSktrace, OnlyTheExactModuleDiskSwitchesDiskMappingOn) {
  for (const char* value : {"disk,4", "DISKS,2", "SK,DISK2"}) {
    Result r = parse({"-T", value});
    expect_continues(r);
    EXPECT_FALSE(core::state().options.disk_mapping) << value;
    EXPECT_EQ(r.err.find("Toggling"), std::string::npos) << value;
  }
}

TEST(OptionsSktrace, ValueWithoutItemsOrDefaultUsesDefaultPoints) {
  for (const char* value : {",", "", ",,,", "default"}) {
    Result r = parse({"-T", value});
    expect_continues(r);
    EXPECT_EQ(core::state().options.sktrace_points, "SK 7 FSYS 4") << value;
    EXPECT_TRUE(core::state().options.sktrace);
    EXPECT_EQ(r.err, "Using default sktrace points: SK 7 FSYS 4\n") << value;
  }
}

TEST(OptionsSktrace, AnotherValueReplacesThePoints) {
  expect_continues(parse({"-T", "DISK,2", "-T", "FSYS,4"}));
  EXPECT_EQ(core::state().options.sktrace_points, " FSYS 4");
  EXPECT_FALSE(core::state().options.disk_mapping);
}

TEST(OptionsSktrace, QuietSilencesTraceMessages) {
  Result r = parse({"-q", "-T", "SK,7,DISK,4"});
  expect_continues(r);
  EXPECT_EQ(r.err, "");
  EXPECT_TRUE(core::state().options.disk_mapping);
}

// ------------------------------------------------------------------ limits

TEST(OptionsLimits, AtMostOneHundredControllers) {
  expect_continues(parse({"-f", names(0, 100)}));
  EXPECT_EQ(core::state().filers.size(), 100u);

  Result r = parse({"-f", names(0, 101)});
  expect_exit(r, 1);
  EXPECT_EQ(r.err, "ERROR: Too many controllers; -f accepts at most 100\n");
  EXPECT_EQ(r.out, "");

  r = parse({"-f", names(0, 60), "-f", names(60, 41)});
  expect_exit(r, 1);
  EXPECT_EQ(r.err, "ERROR: Too many controllers; -f accepts at most 100\n");
}

TEST(OptionsLimits, EmptyControllerNamesAreRejected) {
  for (const char* value : {"a,,b", ",", "", "a,", ",a"}) {
    Result r = parse({"-f", value});
    expect_exit(r, 1);
    EXPECT_EQ(r.err, std::string("ERROR: Empty controller name in -f value: \"") + value + "\"\n");
  }
}

TEST(OptionsLimits, AtMostOneHundredProfilesAndPatterns) {
  expect_continues(parse({"-P", names(0, 100)}));
  EXPECT_EQ(core::state().options.profiles.size(), 100u);
  Result r = parse({"-P", names(0, 50), "-P", names(50, 51)});
  expect_exit(r, 1);
  EXPECT_EQ(r.err, "ERROR: Too many profiles; -P accepts at most 100\n");

  expect_continues(parse({"-E", names(0, 1024)}));
  EXPECT_EQ(core::state().options.exclude_patterns.size(), 1024u);
  r = parse({"-E", names(0, 1025)});
  expect_exit(r, 1);
  EXPECT_EQ(r.err, "ERROR: Too many exclusion patterns; -E accepts at most 1024\n");
}

TEST(OptionsLimits, BoundedTextValues) {
  expect_continues(parse({"-T", std::string(125, 'S') + ",7"}));
  Result r = parse({"-T", std::string(126, 'S') + ",7"});
  expect_exit(r, 1);
  EXPECT_EQ(r.err, "ERROR: The -T value may have at most 127 characters\n");

  expect_continues(parse({"-B", "1234567"}));
  r = parse({"-B", "12345678"});
  expect_exit(r, 1);
  EXPECT_EQ(r.err, "ERROR: The -B buffer size may have at most 7 characters: 12345678\n");

  expect_continues(parse({"-O", std::string(99, '8')}));
  EXPECT_EQ(core::state().options.forced_os, std::string(99, '8'));
  r = parse({"-O", std::string(100, '8')});
  expect_exit(r, 1);
  EXPECT_EQ(r.err, "ERROR: The -O release text may have at most 99 characters\n");
}

TEST(OptionsLimits, ReportedAfterTheScanSoSyntaxErrorsHelpAndVersionComeFirst) {
  Result r = parse({"-B", "12345678", "-t5"});
  expect_exit(r, 1);
  EXPECT_EQ(r.err.find("ERROR: Invalid command line syntax for option: -t5"), 0u);

  r = parse({"-f", names(0, 101), "help"});
  expect_exit(r, 0);
  EXPECT_EQ(r.out, usage_text());

  r = parse({"-T", std::string(200, 'x'), "-v"});
  expect_exit(r, 0);
  EXPECT_EQ(r.err, "Kestrel v7.38 (10-2012)\n");
}

// ------------------------------------------------------------------ conflicts

TEST(OptionsConflicts, EachConflictPrintsItsMessageAndUsage) {
  struct Case {
    std::vector<std::string> args;
    const char* message;
  };
  const char* kk =
      "ERROR: The -k and -K options are mutually exclusive.\nPlease review the help menu\n";
  const char* zc =
      "ERROR: The -z and -c options are mutually exclusive.\nPlease review the help menu\n";
  const char* cp =
      "ERROR: The -c and -p options are mutually exclusive.\nPlease review the help menu\n";
  const Case cases[] = {
      {{"-k", "-K"}, kk},
      {{"-y", "-K"}, kk},
      {{"-z", "-c"}, zc},
      {{"-z", "-p", "-c"}, zc},
      {{"-p", "-c"}, cp},
      {{"-y", "-c"}, cp},
      {{"-k", "-K", "-z", "-c"}, kk},
      {{"-c", "-p", "-K", "-k"}, kk},
  };
  for (const Case& c : cases) {
    Result r = parse_and_check(c.args);
    expect_exit(r, 1);
    EXPECT_EQ(r.err, c.message) << c.args[0] << " " << c.args[1];
    EXPECT_EQ(r.out, usage_text());
  }
}

TEST(OptionsConflicts, CompatibleCombinationsPass) {
  for (std::vector<std::string> args : std::vector<std::vector<std::string>>{
           {"-c"}, {"-K"}, {"-k"}, {"-z", "-p"}, {"-z", "-y"}, {"-c", "-F", "-L"}}) {
    Result r = parse_and_check(args);
    expect_continues(r);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");
  }
}

}  // namespace
}  // namespace run
