// The ready-made controllers "sim1" and "sim2" and the default file tree.
#include "controller/sim/model.h"
#include "controller/sim/text.h"

namespace ctlsim {

namespace {

struct BuiltinModel {
  const char* name;
  const char* release;
  const char* help_style;
  std::vector<std::string> licenses;
  int processors;
  std::vector<Vzone> vzones;
  std::vector<std::string> vifs;
  std::vector<std::string> volumes;
  std::vector<VolumeOption> options_vols;
};

const BuiltinModel& builtin(size_t index) {
  static const BuiltinModel kModels[] = {
      {"sim1",
       "Corvex Release 7.3.5: Fri Nov 2 2012",
       "statit",
       {"nfs", "cifs", "iscsi", "zonepack"},
       2,
       {{"vz1", "/vol/vz1root"}, {"vz2", "/vol/vz2root"}},
       {"vif0", "vif1"},
       {"vol0", "vol1", "vol2"},
       {{"vol1", false}, {"vol2", true}}},
      {"sim2",
       "Corvex Release 8.0.1: Tue Mar 5 2013",
       "priv",
       {"nfs", "fcp", "iscsi", "replisync", "zonepack", "a_dedupe"},
       4,
       {{"vza", "/vol/vzaroot"}, {"vzb", "/vol/vzbroot"}},
       {"trunk0", "trunk1"},
       {"vol0", "vol1"},
       {{"vol1", false}}},
  };
  return kModels[index];
}

const size_t kModelCount = 2;

const TreeFile kRootFiles[] = {
    {"/etc/rc",
     "hostname HOST\nifconfig e0a `hostname`-e0a mediatype auto flowcontrol full netmask "
     "255.255.255.0\nroute add default 192.0.2.1 1\nrouted on\noptions dns.enable on\n"},
    {"/etc/hosts", "127.0.0.1 localhost\n192.0.2.10 HOST HOST-e0a\n192.0.2.20 adminhost\n"},
    {"/etc/hosts.equiv", "adminhost root\n"},
    {"/etc/exports", "/vol/vol0 -sec=sys,rw,anon=0\n/vol/vol1 -sec=sys,rw=adminhost\n"},
    {"/etc/nsswitch.conf", "hosts: files dns\npasswd: files\nnetgroup: files\ngroup: files\n"},
    {"/etc/dgateways", "192.0.2.1 1\n"},
    {"/etc/serialnum", "4070123\n"},
    {"/etc/registry", "options.admin.http.enable=on\noptions.dns.enable=on\n"},
    {"/etc/usermap.cfg", "# user map\n"},
    {"/etc/lclgroups.cfg", "Administrators:S-1-5-32-544:\nUsers:S-1-5-32-545:\n"},
    {"/etc/cifsconfig.cfg", "cifs setup -w WORKGROUP\n"},
    {"/etc/cifsconfig_share.cfg", "cifs shares -add \"HOME\" \"/vol/vol0/home\"\n"},
    {"/etc/cifsconfig_setup.cfg", "cifs setup -w WORKGROUP -security unix\n"},
    {"/etc/replisync.conf", "HOST:vol1 HOST:vol1mirror - 0-59/15 * * *\n"},
    {"/etc/messages",
     "Mon Dec  1 10:00:00 GMT [HOST: kern.uptime:info]: 10:00am up 12 days\n"
     "Mon Dec  1 11:00:00 GMT [HOST: kern.uptime:info]: 11:00am up 12 days\n"},
    {"/etc/log/messages",
     "Mon Dec  1 09:00:00 GMT [HOST: raid.scrub.done:notice]: scrub completed\n"},
    {"/etc/log/ems", "<LR d=\"01Dec2025 09:00:00\" n=\"HOST\" t=\"1764579600\"/>\n"},
    {"/etc/log/backup", "dmp Mon Dec  1 01:00:00 GMT /vol/vol0/(0) Start (Level 0)\n"},
    {"/etc/log/replisync", "sys Mon Dec  1 00:00:00 GMT replisync_sched (1 hour) Start\n"},
    {"/etc/log/auditlog", "Mon Dec  1 08:00:00 GMT [HOST: rshd_0:debug]: root:IN:version\n"},
    {"/etc/log/cm_stats.1", "cm_stats counter dump 1\n"},
};

const TreeFile kVzoneFiles[] = {
    {"/etc/exports", "/vol/VZNAME -sec=sys,rw\n"},
    {"/etc/hosts", "127.0.0.1 localhost\n192.0.2.30 VZNAME\n"},
    {"/etc/hosts.equiv", "adminhost root\n"},
    {"/etc/nsswitch.conf", "hosts: files\n"},
    {"/etc/dgateways", "192.0.2.1 1\n"},
    {"/etc/registry", "options.vzone.name=VZNAME\n"},
    {"/etc/cifsconfig.cfg", "cifs setup -w VZNAME\n"},
    {"/etc/cifsconfig_setup.cfg", "cifs setup -w VZNAME -security ntfs\n"},
    {"/etc/cifsconfig_share.cfg", "cifs shares -add \"DATA\" \"/vol/VZNAME\"\n"},
};

std::string fill(const std::string& text, const std::string& word, const std::string& value) {
  std::string out = text;
  for (size_t at = out.find(word); at != std::string::npos;
       at = out.find(word, at + value.size())) {
    out.replace(at, word.size(), value);
  }
  return out;
}

}  // namespace

bool builtin_model(const std::string& name, Model& model) {
  for (size_t i = 0; i < kModelCount; ++i) {
    const BuiltinModel& entry = builtin(i);
    if (name != entry.name) continue;
    model = Model();
    model.name = name;
    model.release = entry.release;
    model.help_style = entry.help_style;
    model.licenses = entry.licenses;
    model.processors = entry.processors;
    model.vzones = entry.vzones;
    model.vifs = entry.vifs;
    model.volumes = entry.volumes;
    model.options_vols = entry.options_vols;
    return true;
  }
  return false;
}

std::vector<TreeFile> builtin_tree(const Model& model) {
  std::vector<TreeFile> files;
  for (const TreeFile& file : kRootFiles) {
    files.push_back({file.path, fill(file.content, "HOST", model.name)});
  }
  for (const Vzone& vzone : model.vzones) {
    for (const TreeFile& file : kVzoneFiles) {
      files.push_back({vzone.path + file.path, fill(file.content, "VZNAME", vzone.name)});
    }
  }
  return files;
}

}  // namespace ctlsim
