// Replies that kestrel reads itself: version, help, license, sysconfig,
// registry, vzone and vif.
#include <cmath>

#include "controller/sim/output.h"
#include "controller/sim/replies.h"
#include "controller/sim/text.h"
#include "controller/sim/workload_clock.h"

namespace ctlsim {

namespace {

const char* const kBasicCommands[] = {
    "?",        "aggr",    "backstow",  "cifs",     "date",     "df",      "environment",
    "exportfs", "fcp",     "help",      "hostname", "ifconfig", "ifstat",  "igroup",
    "iscsi",    "license", "lun",       "netstat",  "nfsstat",  "options", "qtree",
    "quota",    "rdfile",  "replisync", "snap",     "stats",    "storage", "sysconfig",
    "sysstat",  "uptime",  "version",   "vif",      "vol",      "vzone",   "wrfile",
};

const char* const kDiagCommands[] = {"disk_list", "mem_stats", "prof",
                                     "registry",  "statit",    "trace"};

// Services the license list always names, licensed or not.
const char* const kKnownServices[] = {
    "a_dedupe",     "bs_merix_pri", "bs_merix_sec", "cifs", "cluster",   "dafs",     "far_stash",
    "farstash_nfs", "fcp",          "iscsi",        "nfs",  "replisync", "zonepack",
};

std::string site_code(const Model& model, const std::string& service) {
  return format("%07llu", static_cast<unsigned long long>(stable_hash(model.name + "/" + service) %
                                                          10000000ull));
}

bool has_word(const Words& words, const std::string& word) {
  for (const std::string& w : words) {
    if (w == word) return true;
  }
  return false;
}

// The ports behind the i-th virtual interface.
std::vector<std::string> vif_ports(size_t index) {
  char first = static_cast<char>('a' + (index * 2) % 26);
  char second = static_cast<char>('a' + (index * 2 + 1) % 26);
  return {std::string("e0") + first, std::string("e0") + second};
}

void print_vif_block(const std::string& name, size_t index) {
  std::vector<std::string> ports = vif_ports(index);
  out(format("%s: %zu links, transmit 'IP Based' VIF Type 'multi_mode' fail 'log'\n", name.c_str(),
             ports.size()));
  out("        VIF Status      Up      Addr_set\n");
  out("        up:\n");
  for (const std::string& port : ports) {
    out(format("        %s: state up, since 01Dec2025 09:00:00 (7+11:00:00)\n", port.c_str()));
    out("                mediatype: auto-1000t-fd-up\n");
    out("                flags: enabled\n");
  }
}

void vif_stat(Session& session, const Words& words) {
  const Model& model = *session.model;
  if (words.size() < 3) {
    err("usage: vif stat <vif_name> [interval]\n");
    return;
  }
  size_t index = 0;
  for (; index < model.vifs.size(); ++index) {
    if (model.vifs[index] == words[2]) break;
  }
  if (index == model.vifs.size()) {
    err(format("vif stat: interface %s not found\n", words[2].c_str()));
    return;
  }
  long interval = 1;
  if (words.size() > 3 && (!parse_int(words[3], interval) || interval < 1)) interval = 1;
  std::vector<std::string> ports = vif_ports(index);
  out(format("Virtual interface (trunk) %s\n", words[2].c_str()));
  for (const std::string& port : ports) out(format(" %-20s", port.c_str()));
  out("\n");
  for (size_t i = 0; i < ports.size(); ++i) out(" In         Out      ");
  out("\n");
  // Runs until killed; the hang limit ends a forgotten one.
  long rows = static_cast<long>(hang_limit_seconds() / static_cast<double>(interval)) + 1;
  for (long row = 0; row < rows; ++row) {
    // Packets in the last interval: the interface carries half of the
    // controller's traffic (about 0.7 packets a KB), its first port more.
    Load load = recent_load(model, static_cast<double>(interval) * time_scale());
    for (size_t port = 0; port < ports.size(); ++port) {
      double share = 0.5 * (port == 0 ? 0.55 : 0.45) * 0.7 * static_cast<double>(interval);
      out(format(" %-10lld %-9lld", std::llround(load.net_in * share),
                 std::llround(load.net_out * share)));
    }
    out("\n");
    pace(static_cast<double>(interval));
  }
}

}  // namespace

void reply_version(Session& session, const Words&) {
  out(session.model->release + "\n");
}

void reply_help(Session& session, const Words&) {
  std::vector<std::string> names(std::begin(kBasicCommands), std::end(kBasicCommands));
  const std::string& style = session.model->help_style;
  if (style == "statit")
    names.insert(names.end(), std::begin(kDiagCommands), std::end(kDiagCommands));
  if (style == "statit" || style == "priv") names.push_back("priv");
  for (size_t i = 0; i < names.size(); ++i) {
    out(format("%-16s", names[i].c_str()));
    if (i % 5 == 4 || i + 1 == names.size()) out("\n");
  }
}

void reply_license(Session& session, const Words&) {
  const Model& model = *session.model;
  for (const char* service : kKnownServices) {
    if (licensed(model, service)) {
      out(format("%20s site %s\n", service, site_code(model, service).c_str()));
    } else {
      out(format("%20s not licensed\n", service));
    }
  }
  for (const std::string& service : model.licenses) {
    bool known = false;
    for (const char* name : kKnownServices) known = known || service == name;
    if (!known) out(format("%20s site %s\n", service.c_str(), site_code(model, service).c_str()));
  }
}

void reply_sysconfig(Session& session, const Words& words) {
  const Model& model = *session.model;
  if (has_word(words, "-r")) {
    out("Aggregate aggr0 (online, raid_dp) (block checksums)\n");
    out("  Plex /aggr0/plex0 (online, normal, active)\n");
    out("    RAID group /aggr0/plex0/rg0 (normal)\n\n");
    out("      RAID Disk Device  HA  SHELF BAY CHAN Pool Type  RPM  Used (MB/blks)\n");
    out("      --------- ------  ------------- ---- ---- ---- ----- --------------\n");
    const char* roles[] = {"dparity", "parity", "data", "data", "data", "data"};
    for (int disk = 0; disk < 6; ++disk) {
      out(format("      %-9s 0a.%d   0a    1   %-2d FC:A   -  FCAL 15000 136000/278528000\n",
                 roles[disk], 16 + disk, disk));
    }
    return;
  }
  out(format("        %s\n", model.release.c_str()));
  out(format("        System ID: 0151%06llu (%s)\n",
             static_cast<unsigned long long>(stable_hash(model.name) % 1000000ull),
             model.name.c_str()));
  out(format("        System Serial Number: 4070123 (%s)\n", model.name.c_str()));
  out("        System Storage Configuration: Multi-Path\n");
  out("        slot 0: System Board 2.4 GHz (System Board XVI G1)\n");
  out("                Model Name:         SIM-2040\n");
  out(format("                Processors:         %d\n", model.processors));
  out("                Memory Size:        8192 MB\n");
  out("        slot 0: Dual 10/100/1000 Ethernet Controller\n");
  out("                e0a MAC Address:    00:a0:98:00:00:01 (auto-1000t-fd-up)\n");
  out("                e0b MAC Address:    00:a0:98:00:00:02 (auto-1000t-fd-up)\n");
  if (has_word(words, "-a") || has_word(words, "-av") || has_word(words, "-v")) {
    out("        slot 0: FC Host Adapter 0a\n");
    for (int disk = 0; disk < 6; ++disk) {
      out(format("                %d: SIMDISK  X279_S15K  NA01 136.0GB 520B/sect\n", 16 + disk));
    }
    out("        slot 1: NVRAM\n                Memory Size:        512 MB\n");
  }
}

void reply_registry(Session& session, const Words& words) {
  const Model& model = *session.model;
  if (words.size() < 2 || words[1] != "walk") {
    err("usage: registry walk [prefix]\n");
    return;
  }
  std::string prefix = words.size() > 2 ? words[2] : "";
  std::vector<std::string> lines = {"options.admin.http.enable=on", "options.dns.enable=on"};
  for (const std::string& volume : model.volumes) {
    lines.push_back("options.vols." + volume + ".nosnap=off");
    lines.push_back("options.vols." + volume + ".fractional_reserve=100");
  }
  for (const VolumeOption& option : model.options_vols) {
    lines.push_back("options.vols." + option.volume +
                    ".replisynced=" + (option.replisynced ? "on" : "off"));
  }
  for (const std::string& line : lines) {
    if (starts_with(line, prefix)) out(line + "\n");
  }
}

void reply_vzone(Session& session, const Words& words) {
  const Model& model = *session.model;
  if (!licensed(model, "zonepack")) {
    out("vzone: zonepack not licensed\n");
    return;
  }
  std::string verb = words.size() > 1 ? words[1] : "";
  if (verb == "run") {
    if (words.size() < 4) {
      err("usage: vzone run <vzone_name> <command>\n");
      return;
    }
    bool found = words[2] == "vzone0";
    for (const Vzone& vzone : model.vzones) found = found || vzone.name == words[2];
    if (!found) {
      err(format("vzone run: vzone '%s' not found\n", words[2].c_str()));
      return;
    }
    run_command(session, Words(words.begin() + 3, words.end()));
    return;
  }
  if (verb != "status") {
    err("usage: vzone status [-r|-a] [name] | vzone run <vzone_name> <command>\n");
    return;
  }
  bool long_form = has_word(words, "-r") || has_word(words, "-a") || has_word(words, "-v");
  std::vector<Vzone> zones = {{"vzone0", "/"}};
  zones.insert(zones.end(), model.vzones.begin(), model.vzones.end());
  for (const Vzone& zone : zones) {
    out(format("%-32s running    ipspace: default-ipspace\n", zone.name.c_str()));
    if (!long_form) continue;
    out(format("    Path: %s [/etc]\n", zone.path.c_str()));
    if (zone.name != "vzone0") out(format("    Path: /vol/%s_data\n", zone.name.c_str()));
    out("    IP address: 192.0.2.30 e0a\n");
    out("    Protocols allowed: nfs cifs iscsi\n");
  }
}

void reply_vif(Session& session, const Words& words) {
  const Model& model = *session.model;
  std::string verb = words.size() > 1 ? words[1] : "";
  if (verb == "stat") {
    vif_stat(session, words);
    return;
  }
  if (verb != "status") {
    err("usage: vif status [vif_name] | vif stat <vif_name> [interval]\n");
    return;
  }
  out("default: transmit 'IP Based', VIF Type 'multi_mode', fail 'log'\n");
  for (size_t i = 0; i < model.vifs.size(); ++i) {
    if (words.size() > 2 && words[2] != model.vifs[i]) continue;
    print_vif_block(model.vifs[i], i);
  }
}

}  // namespace ctlsim
