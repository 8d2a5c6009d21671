// Shared pieces of the catalogue tests: controllers, licence sets, option
// modes, and a comparison that points at the first differing step.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

#include "core/state.h"
#include "phases/catalogue.h"

namespace phases {

inline void PrintTo(const CatalogueStep& step, std::ostream* os) {
  static const char* const kNames[] = {"Section", "Run", "ConfigTemplate", "PerfTemplate"};
  *os << kNames[static_cast<int>(step.kind)] << "(\"" << step.text << "\")";
}

}  // namespace phases

namespace catalogue_test {

using phases::CatalogueStep;
using Kind = phases::CatalogueStep::Kind;
using Steps = std::vector<CatalogueStep>;
using Texts = std::vector<std::string>;

inline CatalogueStep Title(const std::string& text) {
  return {Kind::kSection, text};
}
inline CatalogueStep Cmd(const std::string& text) {
  return {Kind::kRun, text};
}
inline CatalogueStep ConfigTpl(const std::string& text) {
  return {Kind::kConfigTemplate, text};
}
inline CatalogueStep PerfTpl(const std::string& text) {
  return {Kind::kPerfTemplate, text};
}

inline Steps runs(const Texts& commands) {
  Steps steps;
  for (const std::string& c : commands) steps.push_back(Cmd(c));
  return steps;
}

inline Steps operator+(Steps a, const Steps& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

inline Texts operator+(Texts a, const Texts& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// Version parts of the release ladder, in order; "6.5" stands for "MERIX6.5".
inline const Texts& ladder() {
  static const Texts versions = {"6.5",   "6.5.6", "7.0",   "7.0.1", "7.0.2", "7.0.3", "7.0.4",
                                 "7.0.5", "7.0.6", "7.0.7", "7.1",   "7.1.1", "7.1.2", "7.1.3",
                                 "7.2",   "7.2.1", "7.2.2", "7.2.3", "7.3",   "7.3.1", "7.3.2",
                                 "7.3.5", "8.0",   "8.0.1", "8.0.2", "8.1",   "8.1.1", "10.0"};
  return versions;
}

inline Texts all_but(const Texts& block, const Texts& exceptions) {
  Texts out;
  for (const std::string& v : block) {
    if (std::find(exceptions.begin(), exceptions.end(), v) == exceptions.end()) out.push_back(v);
  }
  return out;
}

// True when the controller's release text is exactly one of `versions`.
inline bool on(const std::string& release, const Texts& versions) {
  for (const std::string& v : versions) {
    if (release == "MERIX" + v) return true;
  }
  return false;
}

// The commands listed for the controller's release in a per-release table.
inline Texts by_release(const std::vector<std::pair<Texts, Texts>>& table,
                        const std::string& release) {
  for (const auto& entry : table) {
    if (on(release, entry.first)) return entry.second;
  }
  return {};
}

// Release texts the tests evaluate: the ladder, the forced-only 7.3.3, the
// plain fallback and texts that match no member exactly.
inline Texts releases_under_test() {
  Texts out;
  for (const std::string& v : ladder()) out.push_back("MERIX" + v);
  out.push_back("MERIX7.3.3");
  out.push_back("MERIX");
  out.push_back("MERIX7.4");
  out.push_back("merix7.3");
  out.push_back("MERIX7.3 ");
  return out;
}

struct Licences {
  std::string name;
  core::ServiceFlags flags;
  bool vrs_rebuild = false;
  Texts safe_volumes;
};

inline std::vector<Licences> licence_sets() {
  std::vector<Licences> sets;
  sets.push_back({"none", {}, false, {}});

  Licences all{"all", {}, false, {}};
  core::ServiceFlags& a = all.flags;
  a.svc_nfs = a.svc_cifs = a.svc_fcp = a.svc_dafs = a.svc_iscsi = 1;
  a.svc_zonepack = 2;  // "zonepack" and "vzone" lines
  a.svc_backstow = a.svc_farstash = a.svc_dedupe = a.svc_cluster = 1;
  sets.push_back(all);

  Licences all_replicated = all;
  all_replicated.name = "all with replication";
  all_replicated.flags.svc_replisync = 1;
  all_replicated.vrs_rebuild = true;
  all_replicated.safe_volumes = {"vol1", "vol2"};
  sets.push_back(all_replicated);

  Licences nfs{"nfs only", {}, false, {}};
  nfs.flags.svc_nfs = 1;
  nfs.flags.nfs_only = 1;
  sets.push_back(nfs);

  Licences cifs_zonepack{"cifs and zonepack", {}, false, {}};
  cifs_zonepack.flags.svc_cifs = 1;
  cifs_zonepack.flags.svc_zonepack = 1;
  sets.push_back(cifs_zonepack);

  Licences blocks{"iscsi and fcp", {}, false, {}};
  blocks.flags.svc_iscsi = 1;
  blocks.flags.svc_fcp = 1;
  sets.push_back(blocks);

  Licences iscsi_zonepack{"iscsi, nfs and zonepack", {}, false, {}};
  iscsi_zonepack.flags.svc_iscsi = 1;
  iscsi_zonepack.flags.svc_nfs = 3;
  iscsi_zonepack.flags.svc_zonepack = 1;
  sets.push_back(iscsi_zonepack);

  Licences fcp_only{"fcp and farstash", {}, false, {}};
  fcp_only.flags.svc_fcp = 1;
  fcp_only.flags.svc_farstash = 1;
  sets.push_back(fcp_only);

  Licences replicated{"replisync with safe volumes", {}, true, {"vol1", "vol2"}};
  replicated.flags.svc_replisync = 1;
  replicated.flags.svc_nfs = 1;
  sets.push_back(replicated);

  Licences unrebuilt{"replisync without rebuilding", {}, false, {"vol1"}};
  unrebuilt.flags.svc_replisync = 1;
  unrebuilt.flags.svc_zonepack = 1;
  sets.push_back(unrebuilt);
  return sets;
}

struct Mode {
  std::string name;
  core::RunOptions options;
};

inline std::vector<Mode> modes() {
  std::vector<Mode> out;
  out.push_back({"default", {}});
  Mode p{"-p", {}};
  p.options.perf_only = true;
  out.push_back(p);
  Mode c{"-c", {}};
  c.options.config_only = true;
  out.push_back(c);
  Mode y{"-y", {}};
  y.options.critical_only = true;
  y.options.perf_only = true;
  out.push_back(y);
  Mode m{"-M X", {}};
  m.options.mode = "X";
  m.options.mode_given = true;
  out.push_back(m);
  Mode nfs{"-M NFS", {}};
  nfs.options.mode = "NFS";
  nfs.options.mode_given = true;
  out.push_back(nfs);
  Mode z{"-z", {}};
  z.options.z_mode = true;
  z.options.perf_only = true;
  out.push_back(z);
  Mode mz{"-M X -z", {}};
  mz.options.mode_given = true;
  mz.options.mode = "X";
  mz.options.z_mode = true;
  mz.options.perf_only = true;
  out.push_back(mz);
  return out;
}

inline core::FilerTarget filer(const std::string& release, const Licences& licences = {}) {
  core::FilerTarget f;
  f.name = "f1";
  f.release = release;
  f.vrs_rebuild = licences.vrs_rebuild;
  f.safe_volumes = licences.safe_volumes;
  f.services = licences.flags;
  return f;
}

inline core::CurrentServices services(const Licences& licences, bool legacy) {
  core::CurrentServices s;
  s.flags = licences.flags;
  s.legacy_stats = legacy;
  s.cpu_class = 2;
  return s;
}

inline core::RunOptions mode_given(const std::string& text = "X") {
  core::RunOptions o;
  o.mode = text;
  o.mode_given = true;
  return o;
}

// Equal sequences, or a message naming the first differing step.
inline ::testing::AssertionResult same_steps(const Steps& actual, const Steps& expected) {
  size_t n = std::min(actual.size(), expected.size());
  for (size_t i = 0; i <= n; ++i) {
    if (i < n && actual[i] == expected[i]) continue;
    if (i == n && actual.size() == expected.size()) return ::testing::AssertionSuccess();
    auto show = [](const Steps& s, size_t at) {
      return at < s.size() ? ::testing::PrintToString(s[at]) : std::string("<end>");
    };
    return ::testing::AssertionFailure()
           << "first difference at step " << i << ": got " << show(actual, i) << ", expected "
           << show(expected, i) << " (lengths " << actual.size() << " and " << expected.size()
           << ")";
  }
  return ::testing::AssertionSuccess();
}

inline Texts commands(const Steps& steps) {
  Texts out;
  for (const CatalogueStep& s : steps) {
    if (s.kind == Kind::kRun) out.push_back(s.text);
  }
  return out;
}

inline bool has_run(const Steps& steps, const std::string& command) {
  Texts c = commands(steps);
  return std::find(c.begin(), c.end(), command) != c.end();
}

inline int run_index(const Steps& steps, const std::string& command) {
  Texts c = commands(steps);
  auto at = std::find(c.begin(), c.end(), command);
  return at == c.end() ? -1 : static_cast<int>(at - c.begin());
}

inline int count_kind(const Steps& steps, Kind kind) {
  return static_cast<int>(std::count_if(steps.begin(), steps.end(),
                                        [kind](const CatalogueStep& s) { return s.kind == kind; }));
}

// Compares `select` with `expected` for every release under test, every mode,
// every licence set and both stats modes; returns how many cases it checked.
template <typename Select, typename Expected>
int check_every_case(Select select, Expected expected) {
  int cases = 0;
  for (const std::string& release : releases_under_test()) {
    for (const Mode& mode : modes()) {
      for (const Licences& licences : licence_sets()) {
        for (bool legacy : {false, true}) {
          core::FilerTarget f = filer(release, licences);
          core::CurrentServices cs = services(licences, legacy);
          EXPECT_TRUE(same_steps(select(f, cs, mode.options), expected(f, cs, mode.options)))
              << release << ", " << mode.name << ", " << licences.name
              << (legacy ? ", legacy stats" : ", all-objects stats");
          if (::testing::Test::HasFailure()) return cases;
          ++cases;
        }
      }
    }
  }
  return cases;
}

}  // namespace catalogue_test
