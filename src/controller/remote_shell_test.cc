#include "controller/remote_shell.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "core/state.h"
#include "exec/runner.h"
#include "platform/platform.h"

namespace {

using platform::shell::RemoteClient;

// The host's program names: "rsh.exe" on Windows, "rsh" on POSIX.
const std::string rsh = platform::shell::remote_client_program(RemoteClient::kRsh);
const std::string plink = platform::shell::remote_client_program(RemoteClient::kPlink);
const std::string ssh = platform::shell::remote_client_program(RemoteClient::kSsh);

std::string prefix_of(const core::RunOptions& options, const std::string& name) {
  std::string prefix;
  std::string error;
  EXPECT_TRUE(controller::build_shell_prefix(options, name, prefix, error)) << error;
  EXPECT_EQ(error, "");
  return prefix;
}

std::string refusal_of(const core::RunOptions& options, const std::string& name) {
  std::string prefix = "untouched";
  std::string error;
  EXPECT_FALSE(controller::build_shell_prefix(options, name, prefix, error));
  EXPECT_EQ(prefix, "untouched");
  return error;
}

core::RunOptions ssh_options(const std::string& credential, bool password, bool ssh_exe) {
  core::RunOptions o;
  o.ssh = true;
  o.credential = credential;
  o.use_password = password;
  o.key_file_given = !password;
  o.use_ssh_exe = ssh_exe;
  if (password) o.password = credential;
  return o;
}

TEST(ShellPrefix, FiveClientForms) {
  core::RunOptions defaults;
  EXPECT_EQ(prefix_of(defaults, "f1"), rsh + " f1 -l root -n ");

  EXPECT_EQ(prefix_of(ssh_options("", false, false), "f1"),
            plink + " -ssh -x -a -batch -l root f1 ");
  // An empty password ("-S pw:") is no credential either.
  EXPECT_EQ(prefix_of(ssh_options("", true, true), "f1"), plink + " -ssh -x -a -batch -l root f1 ");

  // A password always uses plink, -g or not.
  EXPECT_EQ(prefix_of(ssh_options("secret", true, true), "f1"),
            plink + " -ssh -x -a -batch -pw secret -l root f1 ");
  EXPECT_EQ(prefix_of(ssh_options("/keys/id_rsa", false, true), "f1"),
            ssh + " -o BatchMode=yes -2 -ax -i /keys/id_rsa -l  root f1 ");
  EXPECT_EQ(prefix_of(ssh_options("/keys/id_rsa", false, false), "10.1.2.3"),
            plink + " -ssh -x -a -batch -i /keys/id_rsa -l root 10.1.2.3 ");
}

// A -l password is never sent: every client gets the user name alone.
TEST(ShellPrefix, LoginSendsOnlyTheUserName) {
  core::RunOptions o;
  o.login = "admin:pw1";
  o.password = "pw1";
  o.secrets = {"pw1"};
  EXPECT_EQ(prefix_of(o, "f1"), rsh + " f1 -l admin -n ");
  EXPECT_EQ(controller::login_user("admin:pw1:x"), "admin");
  EXPECT_EQ(controller::login_user("admin"), "admin");

  // Both forms: plink gets the -S pw: password and the bare user name.
  o = ssh_options("Sekr1tPW", true, false);
  o.login = "root:SECONDpw2";
  o.secrets = {"SECONDpw2", "Sekr1tPW"};
  const std::string prefix = prefix_of(o, "c");
  EXPECT_EQ(prefix, plink + " -ssh -x -a -batch -pw Sekr1tPW -l root c ");
  core::reset_state();
  core::state().options = o;
  EXPECT_EQ(exec::mask_password(prefix), plink + " -ssh -x -a -batch -pw ******** -l root c ");
  core::reset_state();
}

// The interpreter must see each value as one word with nothing to run.
TEST(ShellPrefix, ValuesThatAreNotPlainWordsAreQuoted) {
  if (platform::shell::path_separator() != '/') GTEST_SKIP() << "sh quoting";
  core::RunOptions o = ssh_options("pa ss&|<>^;$`x", true, false);
  o.login = "my user";
  std::string prefix = prefix_of(o, "f1");
  EXPECT_EQ(prefix, plink + " -ssh -x -a -batch -pw 'pa ss&|<>^;$`x' -l 'my user' f1 ");
  // The raw password is still inside, so logs hide it.
  core::reset_state();
  core::state().options.password = o.password;
  EXPECT_EQ(exec::mask_password(prefix).find("pa ss"), std::string::npos);

  core::RunOptions key = ssh_options("/home/me/my keys/id\"rsa", false, true);
  EXPECT_EQ(prefix_of(key, "f1"),
            ssh + " -o BatchMode=yes -2 -ax -i '/home/me/my keys/id\"rsa' -l  root f1 ");

  core::RunOptions empty_login;
  empty_login.login = "";
  EXPECT_EQ(prefix_of(empty_login, "f1"), rsh + " f1 -l '' -n ");
}

// Each quoted value reaches a program as one intact argument.
TEST(ShellPrefix, QuotedValuesArriveIntact) {
  if (platform::shell::path_separator() != '/') GTEST_SKIP() << "sh quoting";
  namespace fs = std::filesystem;
  fs::path out = fs::temp_directory_path() /
                 ("kestrel_prefix_test_" + std::to_string(platform::current_process_id()));
  core::RunOptions o = ssh_options("\"$HOME\" `id`; touch x & y | z > w", true, false);
  o.login = "it's a\\b";
  std::string prefix = prefix_of(o, "f1");
  // Replace the client by a printer of its arguments, one per line.
  std::string line =
      "printf '%s\\n' " + prefix.substr(prefix.find(' ') + 1) + "> \"" + out.string() + "\"";
  ASSERT_EQ(platform::run_shell(line), 0);
  std::ifstream in(out);
  std::stringstream all;
  all << in.rdbuf();
  fs::remove(out);
  EXPECT_EQ(all.str(),
            "-ssh\n-x\n-a\n-batch\n-pw\n\"$HOME\" `id`; touch x & y | z > w\n-l\nit's a\\b\nf1\n");
}

TEST(ShellPrefix, RefusesValuesThatCannotBePassedIntact) {
  core::RunOptions o;
  o.login = "root\nreboot";
  std::string error = refusal_of(o, "f1");
  EXPECT_EQ(error.rfind("ERROR: Controller f1: the login given with -l ", 0), 0u) << error;
  EXPECT_EQ(error.back(), '\n');

  core::RunOptions key = ssh_options("/keys/id\r", false, false);
  error = refusal_of(key, "f1");
  EXPECT_NE(error.find("key file given with -S kf:"), std::string::npos) << error;
}

TEST(ShellPrefix, RefusesPasswordsThatQuotingWouldExpose) {
  if (platform::shell::path_separator() != '/') GTEST_SKIP() << "sh quoting";
  // 'it'\''s' no longer holds "it's", so masking could not find it.
  std::string error = refusal_of(ssh_options("it's", true, false), "f1");
  EXPECT_NE(error.find("password given with -S pw:"), std::string::npos) << error;
  EXPECT_EQ(error.find("it's"), std::string::npos);

  // A -l password is not sent, so it needs no quoting; a user name that
  // holds a password of the command line still does.
  core::RunOptions o;
  o.login = "me:it's";
  o.password = "it's";
  o.secrets = {"it's"};
  EXPECT_EQ(prefix_of(o, "f1"), rsh + " f1 -l me -n ");
  o.login = "it's";
  o.password = "";
  error = refusal_of(o, "f1");
  EXPECT_NE(error.find("login given with -l"), std::string::npos) << error;
}

TEST(ShellPrefix, LengthLimit) {
  core::RunOptions o;
  // rsh + " " + name + " -l root -n " is 13 characters plus the names.
  const std::size_t longest_name = controller::kMaxShellPrefix - 13 - rsh.size();
  EXPECT_EQ(prefix_of(o, std::string(longest_name, 'a')).size(), controller::kMaxShellPrefix);
  std::string error = refusal_of(o, std::string(longest_name + 1, 'a'));
  EXPECT_NE(error.find("the " + rsh + " command would be 256 characters long; at most 255"),
            std::string::npos)
      << error;

  core::RunOptions key = ssh_options("/" + std::string(250, 'k'), false, false);
  refusal_of(key, "f1");
}

TEST(ShellPrefix, CheckEndsTheRunAtTheFirstBadController) {
  core::reset_state();
  core::state().filers.resize(2);
  core::state().filers[0].name = "good";
  core::state().filers[1].name = std::string(300, 'b');
  EXPECT_EXIT(controller::check_shell_prefixes(), ::testing::ExitedWithCode(1),
              "ERROR: Controller b+: the " + rsh + " command would be " +
                  std::to_string(313 + rsh.size()) + " characters long");
}

// --kill_all ends the processes of the client that the prefix starts.
TEST(ShellPrefix, ChosenClientIsTheOneThePrefixStarts) {
  core::RunOptions forms[] = {core::RunOptions(), ssh_options("", false, false),
                              ssh_options("pw", true, true), ssh_options("/k", false, true),
                              ssh_options("/k", false, false)};
  for (const core::RunOptions& o : forms) {
    const std::string program =
        platform::shell::remote_client_program(controller::remote_client(o));
    EXPECT_EQ(prefix_of(o, "f1").rfind(program + " ", 0), 0u) << program;
  }
  EXPECT_EQ(controller::remote_client(ssh_options("/k", false, true)), RemoteClient::kSsh);
  EXPECT_EQ(controller::remote_client(core::RunOptions()), RemoteClient::kRsh);
}

// The system's own clients on POSIX; the Windows builds keep their .exe.
TEST(ShellPrefix, ClientNamesFollowTheHost) {
  const bool windows = platform::shell::path_separator() == '\\';
  for (const std::string& name : {rsh, plink, ssh}) {
    const bool exe = name.size() > 4 && name.compare(name.size() - 4, 4, ".exe") == 0;
    EXPECT_EQ(exe, windows) << name;
  }
  EXPECT_NE(rsh, plink);
  EXPECT_NE(plink, ssh);
}

TEST(FilerCommandLine, RemoteCommandIsOneQuotedArgument) {
  core::FilerTarget filer;
  filer.shell_prefix = rsh + " f1 -l root -n ";
  EXPECT_EQ(controller::filer_command_line(filer, "mem_stats -b"),
            rsh + " f1 -l root -n  \" mem_stats -b \"");
  filer.priv_prefix = "rc_toggle_basic ;";
  filer.priv_suffix = "; rc_toggle_basic";
  EXPECT_EQ(controller::filer_command_line(filer, "version"),
            rsh + " f1 -l root -n  \"rc_toggle_basic ; version ; rc_toggle_basic\"");
}

}  // namespace
