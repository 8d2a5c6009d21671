// Command texts for cmd.exe.
#include <string>
#include <vector>

#include "platform/platform.h"

namespace platform::shell {

char path_separator() {
  return '\\';
}

std::string interpreter(const std::string& command_text) {
  return "cmd /C \"" + command_text + "\"";
}

std::string type_file(const std::string& quoted_path) {
  return type_verb() + quoted_path;
}

std::string type_verb() {
  return "type ";
}

std::string make_dir(const std::string& path) {
  return "md \"" + path + "\" > NUL 2> NUL";
}

std::string remove_dir(const std::string& path) {
  return "rd /s /q \"" + path + "\" > NUL 2> NUL ";
}

std::string echo_line(const std::string& text) {
  return "echo " + text;
}

std::string append_line(const std::string& text, const std::string& path) {
  return "echo " + text + " >> \"" + path + "\"";
}

std::string copy_file(const std::string& from, const std::string& to) {
  return "copy /Y \"" + from + "\" \"" + to + "\" > NUL";
}

std::string null_device() {
  return "NUL";
}

bool path_is_quotable(const std::string& path) {
  // A double quote would end the quoted text; cmd expands %name% even inside
  // quotes; control characters (line ends above all) split the command.
  for (char c : path) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (c == '"' || c == '%' || u < 0x20 || u == 0x7f) return false;
  }
  return true;
}

// The clients' Windows builds, found on the search path.
const char* remote_client_program(RemoteClient client) {
  switch (client) {
    case RemoteClient::kRsh:
      return "rsh.exe";
    case RemoteClient::kPlink:
      return "plink.exe";
    case RemoteClient::kSsh:
      return "ssh.exe";
  }
  return "";
}

const std::vector<std::string>& host_config_commands() {
  static const std::vector<std::string> commands = {"ipconfig /all", "arp -a", "netstat -rn",
                                                    "driverquery", "ver"};
  return commands;
}

const std::vector<std::string>& host_perf_commands() {
  static const std::vector<std::string> commands = {"nbtstat -n", "netstat -es", "nbtstat -r"};
  return commands;
}

}  // namespace platform::shell

namespace platform::shell {

bool quote_argument(const std::string& text, std::string& quoted) {
  bool plain = !text.empty();
  for (char c : text) {
    // cmd.exe expands %NAME% even between quotes, and a quote cannot be
    // carried through both cmd.exe and the client's argument parsing.
    if (c == '"' || c == '%' || static_cast<unsigned char>(c) < 0x20) return false;
    bool word = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                std::string("._:@/+=,-\\").find(c) != std::string::npos;
    if (!word) plain = false;
  }
  if (plain) {
    quoted = text;
    return true;
  }
  // Backslashes before the closing quote would escape it for the client.
  size_t trailing = 0;
  while (trailing < text.size() && text[text.size() - 1 - trailing] == '\\') ++trailing;
  quoted = "\"" + text + std::string(trailing, '\\') + "\"";
  return true;
}

}  // namespace platform::shell

namespace platform::shell {

std::vector<HostExport> host_exports(const std::string& folder, const std::string& msinfo_path) {
  const std::string tcp = folder + "TCP_Params.reg";
  const std::string summary = folder + "msinfo_1.out";
  const std::string storage = folder + "msinfo_2.out";
  return {
      {"TCP_Params.reg",
       interpreter("regedit /E \"" + tcp +
                   "\" \"HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\Tcpip\\"
                   "Parameters\"")},
      {"msinfo_1.out", "cmd /C \"start \"msinfo\" /wait \"" + msinfo_path + "\" /report \"" +
                           summary + "\" /categories +SystemSummary-all\""},
      {"msinfo_2.out", "cmd /C \"start \"msinfo\" /wait \"" + msinfo_path + "\" /report \"" +
                           storage + "\" /categories +ComponentsStorage-all\""},
  };
}

}  // namespace platform::shell
