// Splits a remote command into its commands, applies the privilege words and
// the faults, and hands each command to its reply.
#include <filesystem>

#include "controller/sim/faults.h"
#include "controller/sim/output.h"
#include "controller/sim/replies.h"
#include "controller/sim/store.h"
#include "controller/sim/text.h"
#include "controller/sim/workload_clock.h"

namespace ctlsim {

namespace {

using Reply = void (*)(Session&, const Words&);

struct CommandEntry {
  const char* word;
  Reply reply;
  bool advanced;  // needs diag privilege unless the help style is "statit"
};

const CommandEntry kCommands[] = {
    {"version", reply_version, false},
    {"help", reply_help, false},
    {"?", reply_help, false},
    {"license", reply_license, false},
    {"sysconfig", reply_sysconfig, false},
    {"registry", reply_registry, true},
    {"vzone", reply_vzone, false},
    {"vif", reply_vif, false},
    {"ls", reply_ls, false},
    {"rdfile", reply_rdfile, false},
    {"rm", reply_rm, false},
    {"stats", reply_stats, false},
    {"statit", reply_statit, true},
    {"mem_stats", reply_mem_stats, true},
    {"sysstat", reply_sysstat, false},
    {"lun", reply_lun, false},
    {"prof", reply_prof, true},
    {"trace", reply_trace, true},
    {"disk_list", reply_disk_list, true},
};

bool advanced_allowed(const Session& session) {
  return session.model->help_style == "statit" || session.priv_level == "diag" ||
         session.priv_level == "advanced" || session.basic_toggled;
}

// "priv set [-q] LEVEL" and "rc_toggle_basic" change the session only.
bool run_privilege_words(Session& session, const Words& words) {
  if (words[0] == "rc_toggle_basic" && words.size() == 1) {
    session.basic_toggled = !session.basic_toggled;
    return true;
  }
  if (words[0] != "priv") return false;
  if (words.size() >= 2 && words[1] == "set") {
    bool quiet = words.size() >= 3 && words[2] == "-q";
    size_t level_at = quiet ? 3 : 2;
    std::string level = words.size() > level_at ? words[level_at] : "admin";
    if (level != "admin" && level != "advanced" && level != "diag") {
      err(format("priv: invalid privilege level \"%s\"\n", level.c_str()));
      return true;
    }
    if (!quiet && level != "admin") {
      err("Warning: These diagnostic commands are for use by support personnel only.\n");
    }
    session.priv_level = level;
    return true;
  }
  out(format("%s\n", session.priv_level.c_str()));
  return true;
}

bool run_canned_reply(const Session& session, const std::string& command) {
  for (const CannedReply& reply : session.model->replies) {
    if (reply.command != command) continue;
    std::filesystem::path file = reply.file;
    if (file.is_relative() && !session.model->folder.empty()) {
      file = std::filesystem::path(session.model->folder) / file;
    }
    std::string content;
    if (read_file(file, content)) {
      out(content);
    } else {
      err(format("ctlsim: cannot read reply file %s\n", file.string().c_str()));
    }
    return true;
  }
  return false;
}

}  // namespace

bool licensed(const Model& model, const std::string& service) {
  for (const std::string& name : model.licenses) {
    if (name == service) return true;
  }
  return false;
}

void run_command(Session& session, const Words& words) {
  if (words.empty()) return;
  if (run_canned_reply(session, join(words, " "))) return;
  for (const CommandEntry& entry : kCommands) {
    if (words[0] != entry.word) continue;
    if (entry.advanced && !advanced_allowed(session)) {
      out(format("%s not found.  Type '?' for a list of commands\n", words[0].c_str()));
      return;
    }
    entry.reply(session, words);
    return;
  }
  reply_generic(session, words);
}

int answer_remote_command(const Model& model, const std::string& remote) {
  note_first_contact(model.name);  // the workload's clock starts at the first answer
  Session session;
  session.model = &model;
  int status = 0;
  std::vector<Fault> whole = faults_for(model, "", true);
  FaultStep step = apply_faults_before(whole);
  if (step == FaultStep::kFail) return 1;
  if (step == FaultStep::kAnswer) {
    for (const std::string& piece : split(remote, ';')) {
      Words words = split_words(piece);
      if (words.empty() || run_privilege_words(session, words)) continue;
      std::vector<Fault> faults = faults_for(model, join(words, " "), false);
      FaultStep command_step = apply_faults_before(faults);
      if (command_step == FaultStep::kFail) {
        status = 1;
        continue;
      }
      if (command_step == FaultStep::kAnswer) run_command(session, words);
      apply_faults_after(faults);
    }
  }
  apply_faults_after(whole);
  flush_all();
  return status;
}

}  // namespace ctlsim
