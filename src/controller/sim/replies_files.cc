// The controller's file tree: ls (on standard error, as the controller
// writes its listings), rdfile and rm.
#include <algorithm>
#include <filesystem>

#include "controller/sim/output.h"
#include "controller/sim/replies.h"
#include "controller/sim/store.h"
#include "controller/sim/text.h"

namespace fs = std::filesystem;

namespace ctlsim {

void reply_ls(Session& session, const Words& words) {
  std::string path = words.size() > 1 ? words[1] : "/";
  fs::path local;
  std::error_code ec;
  if (!tree_path(files_root(*session.model), path, local) || !fs::exists(local, ec)) {
    err(format("ls: %s: No such file or directory\n", path.c_str()));
    return;
  }
  if (!fs::is_directory(local, ec)) {
    err(local.filename().string() + "\n");
    return;
  }
  std::vector<std::string> names;
  for (fs::directory_iterator it(local, ec), end; !ec && it != end; it.increment(ec)) {
    names.push_back(it->path().filename().string());
  }
  std::sort(names.begin(), names.end());
  std::string listing = ".\n..\n";
  for (const std::string& name : names) listing += name + "\n";
  err(listing);
}

void reply_rdfile(Session& session, const Words& words) {
  if (words.size() < 2) {
    err("usage: rdfile <absolute path>\n");
    return;
  }
  fs::path local;
  std::string content;
  std::error_code ec;
  if (!tree_path(files_root(*session.model), words[1], local) || !fs::is_regular_file(local, ec) ||
      !read_file(local, content)) {
    err(format("rdfile: cannot open %s: No such file or directory\n", words[1].c_str()));
    return;
  }
  out(content);
}

void reply_rm(Session& session, const Words& words) {
  if (words.size() < 2) {
    err("usage: rm <path>\n");
    return;
  }
  for (size_t i = 1; i < words.size(); ++i) {
    fs::path local;
    std::error_code ec;
    if (!tree_path(files_root(*session.model), words[i], local) || !fs::exists(local, ec)) {
      err(format("rm: %s: No such file or directory\n", words[i].c_str()));
    } else if (fs::is_directory(local, ec)) {
      err(format("rm: %s: Is a directory\n", words[i].c_str()));
    } else if (!fs::remove(local, ec)) {
      err(format("rm: %s: %s\n", words[i].c_str(), ec.message().c_str()));
    }
  }
}

}  // namespace ctlsim
