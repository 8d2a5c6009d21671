// Host command texts for /bin/sh.
#include <string>
#include <vector>

#include "platform/platform.h"

namespace platform::shell {

namespace {

// Single-quotes a text for sh: every character stands for itself.
std::string literal(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

}  // namespace

char path_separator() {
  return '/';
}

std::string interpreter(const std::string& command_text) {
  return command_text;
}

std::string type_verb() {
  return "cat ";
}

std::string type_file(const std::string& quoted_path) {
  return type_verb() + quoted_path;
}

std::string make_dir(const std::string& path) {
  return "mkdir -p \"" + path + "\" > /dev/null 2> /dev/null";
}

std::string remove_dir(const std::string& path) {
  return "rm -rf \"" + path + "\" > /dev/null 2> /dev/null";
}

std::string echo_line(const std::string& text) {
  return "printf '%s\\n' " + literal(text);
}

std::string append_line(const std::string& text, const std::string& path) {
  return echo_line(text) + " >> \"" + path + "\"";
}

std::string copy_file(const std::string& from, const std::string& to) {
  return "cp \"" + from + "\" \"" + to + "\"";
}

std::string null_device() {
  return "/dev/null";
}

bool path_is_quotable(const std::string& path) {
  // Inside double quotes sh still expands $, ` and \, and " ends the quote.
  for (char c : path) {
    if (c == '"' || c == '$' || c == '`' || c == '\\' || static_cast<unsigned char>(c) < 0x20) {
      return false;
    }
  }
  return true;
}

bool quote_argument(const std::string& text, std::string& quoted) {
  bool plain = !text.empty();
  for (char c : text) {
    bool word = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                std::string("._:@/+=,-").find(c) != std::string::npos;
    if (!word) plain = false;
    if (c == '\0' || c == '\n' || c == '\r') return false;
  }
  quoted = plain ? text : literal(text);
  return true;
}

// The system's own clients, found on PATH.
const char* remote_client_program(RemoteClient client) {
  switch (client) {
    case RemoteClient::kRsh:
      return "rsh";
    case RemoteClient::kPlink:
      return "plink";
    case RemoteClient::kSsh:
      return "ssh";
  }
  return "";
}

const std::vector<std::string>& host_config_commands() {
  static const std::vector<std::string> commands = {"ip addr show", "arp -a", "netstat -rn",
                                                    "ls /sys/module", "uname -a"};
  return commands;
}

const std::vector<std::string>& host_perf_commands() {
  static const std::vector<std::string> commands = {"cat /proc/net/dev", "netstat -s",
                                                    "cat /proc/net/sockstat"};
  return commands;
}

}  // namespace platform::shell

namespace platform::shell {

// The nearest Linux equivalents: the TCP/IP settings through sysctl, a
// system summary and a storage summary from the usual commands.
std::vector<HostExport> host_exports(const std::string& folder, const std::string&) {
  auto into = [&](const std::string& commands, const std::string& file) {
    return "{ " + commands + " } > \"" + folder + file + "\" 2> /dev/null";
  };
  return {
      {"TCP_Params.reg", into("sysctl net.ipv4 net.core;", "TCP_Params.reg")},
      {"msinfo_1.out",
       into("uname -a; cat /etc/os-release; lscpu; free -k; uptime;", "msinfo_1.out")},
      {"msinfo_2.out", into("lsblk; df -k; cat /proc/partitions;", "msinfo_2.out")},
  };
}

}  // namespace platform::shell
