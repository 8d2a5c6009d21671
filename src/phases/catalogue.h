// The controller command catalogues of the two snapshot phases: fixed tables
// of command rows with their gates, and one rule that turns a table into the
// steps for one controller.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "core/collection.h"
#include "core/state.h"

namespace phases {

// One thing the evaluation of a catalogue asks for, in catalogue order.
struct CatalogueStep {
  enum class Kind {
    kSection,         // set the collection's section to `text`
    kRun,             // run `text` on the controller
    kConfigTemplate,  // append `text` to the virtual controller configuration list
    kPerfTemplate,    // append `text` to the virtual controller performance list
  };
  Kind kind;
  std::string text;
};

inline bool operator==(const CatalogueStep& a, const CatalogueStep& b) {
  return a.kind == b.kind && a.text == b.text;
}

// The steps of the prestats / poststats catalogue for one controller. Pure:
// nothing is run and no state is touched.
std::vector<CatalogueStep> select_prestats_catalogue(const core::FilerTarget& filer,
                                                     const core::CurrentServices& services,
                                                     const core::RunOptions& options);
std::vector<CatalogueStep> select_poststats_catalogue(const core::FilerTarget& filer,
                                                      const core::CurrentServices& services,
                                                      const core::RunOptions& options);

// Carries out steps for a collection: titles become its section, commands go
// to `run_command`, templates to the end of its virtual controller lists.
using FilerCommandRunner = void (*)(const core::Collection& collection, const std::string& command);
void perform_catalogue_steps(core::Collection& collection, const std::vector<CatalogueStep>& steps,
                             FilerCommandRunner run_command);

// Evaluate the catalogue for the collection's controller with its published
// services and run its commands through exec::run_filer_command. The section
// is left at the last title set.
void run_prestats_catalogue(core::Collection& collection);
void run_poststats_catalogue(core::Collection& collection);

// The tables and their gates.
namespace catalogue {

// Canonical release strings in ladder order; k7_3_3 ("MERIX7.3.3") exists only
// as a forced release and is known to the PERF rows only.
enum Release : int {
  k6_5,
  k6_5_6,
  k7_0,
  k7_0_1,
  k7_0_2,
  k7_0_3,
  k7_0_4,
  k7_0_5,
  k7_0_6,
  k7_0_7,
  k7_1,
  k7_1_1,
  k7_1_2,
  k7_1_3,
  k7_2,
  k7_2_1,
  k7_2_2,
  k7_2_3,
  k7_3,
  k7_3_1,
  k7_3_2,
  k7_3_5,
  k8_0,
  k8_0_1,
  k8_0_2,
  k8_1,
  k8_1_1,
  k10_0,
  k7_3_3,
  kReleaseCount
};

// "MERIX6.5" ... "MERIX10.0", "MERIX7.3.3", indexed by Release.
extern const char* const kReleaseStrings[kReleaseCount];

// A set of releases, one bit per Release.
using ReleaseSet = std::uint32_t;

constexpr ReleaseSet release_bit(Release release) {
  return ReleaseSet{1} << release;
}

constexpr ReleaseSet releases(std::initializer_list<Release> list) {
  ReleaseSet set = 0;
  for (Release release : list) set |= release_bit(release);
  return set;
}

// `first` to `last` inclusive, in ladder order.
constexpr ReleaseSet release_range(Release first, Release last) {
  ReleaseSet set = 0;
  for (int r = first; r <= last; ++r) set |= release_bit(static_cast<Release>(r));
  return set;
}

constexpr ReleaseSet all_but(ReleaseSet block, ReleaseSet exceptions) {
  return block & ~exceptions;
}

// No release gate: holds for every release text, unrecognised ones included.
constexpr ReleaseSet kEveryRelease = ~ReleaseSet{0};

// "all" of the CONFIG rows: the 28 rungs of the release ladder.
constexpr ReleaseSet kConfigBlock = release_range(k6_5, k10_0);
// "all" of the PERF rows: the rungs and the forced-only 7.3.3.
constexpr ReleaseSet kPerfBlock = kConfigBlock | release_bit(k7_3_3);

// Releases that speak the older iSCSI command family ("iswt ...").
constexpr ReleaseSet kIswtReleases = releases({k6_5, k6_5_6}) | release_range(k7_0, k7_0_7);
// Releases of the newer family.
constexpr ReleaseSet kIscsiReleases = all_but(kConfigBlock, kIswtReleases);

// Releases with per-object stats instances.
constexpr ReleaseSet kStatsReleases = all_but(kPerfBlock, releases({k6_5, k6_5_6, k7_3_3}));
// Releases with the qtree stats object.
constexpr ReleaseSet kQtreeStatsReleases =
    releases({k7_0_6, k7_0_7, k7_1_3, k7_2_2}) | release_range(k7_2_3, k10_0);
// Releases whose farstash instance is handled after the others.
constexpr ReleaseSet kLateFarstashStats = release_range(k7_0, k7_1_3);

// Releases that have the respective commands.
constexpr ReleaseSet kFcpReleases = all_but(kConfigBlock, release_range(k7_0, k7_0_3));
constexpr ReleaseSet kFcpStatsReleases =
    all_but(kPerfBlock, release_range(k7_0, k7_0_3) | releases({k7_1, k7_3_3}));
constexpr ReleaseSet kFarstashHistReleases =
    all_but(kPerfBlock, releases({k6_5, k6_5_6, k7_3_3}) | release_range(k7_0, k7_0_4));
constexpr ReleaseSet kFrom7_2 = release_range(k7_2, k10_0);
constexpr ReleaseSet kFrom7_3 = release_range(k7_3, k10_0);
constexpr ReleaseSet kAllBut7_3_3 = all_but(kPerfBlock, release_bit(k7_3_3));
constexpr ReleaseSet kFrom7_0 = release_range(k7_0, k10_0);

enum Section {
  kConfig,         // under "CONFIG <name> <phase>"
  kPerf,           // under "PERF <name> <phase>"
  kAfterSections,  // after both sections, under whatever title is current
};

enum Delivery { kRun, kConfigList, kPerfList };

// Option gates, or'ed.
enum OptionGate : unsigned {
  kNoOptionGate = 0,
  kUnlessModeGiven = 1u << 0,  // skipped with -M
  kUnlessZMode = 1u << 1,      // skipped with -z
  kCriticalOnly = 1u << 2,     // only with -y; in PERF it replaces the other rows
};

// Services and stats mode, as bits.
enum Service : unsigned {
  kNfs = 1u << 0,
  kCifs = 1u << 1,
  kFcp = 1u << 2,
  kIscsi = 1u << 3,
  kReplisync = 1u << 4,
  kZonepack = 1u << 5,
  kBackstow = 1u << 6,
  kFarstash = 1u << 7,
  kDedupe = 1u << 8,
  kCluster = 1u << 9,
  kNfsOnly = 1u << 10,
  kLegacyStats = 1u << 11,
};

// Holds when every service of all_of, at least one of any_of (if any) and
// none of none_of is present.
struct ServiceGate {
  unsigned all_of = 0;
  unsigned any_of = 0;
  unsigned none_of = 0;
};

// Consecutive rows that share a release gate.
struct ReleaseRows {
  ReleaseSet releases;
  std::vector<std::string> commands;  // exact texts, trailing blanks included
};

// Consecutive rows that share section, delivery, option and service gates.
// A group whose contents differ by release lists one ReleaseRows per set of
// releases.
struct CatalogueGroup {
  Section section;
  Delivery delivery;
  unsigned options;
  ServiceGate services;
  std::vector<ReleaseRows> rows;
};

// group(section, delivery, option gates, {all_of, any_of, none_of}, rows)
inline CatalogueGroup group(Section section, Delivery delivery, unsigned options,
                            ServiceGate services, std::vector<ReleaseRows> rows) {
  return {section, delivery, options, services, std::move(rows)};
}

struct Catalogue {
  std::string phase_word;  // "PRESTATS" or "POSTSTATS"
  std::vector<CatalogueGroup> groups;
  // Run with each safe volume's name appended, at the end of the PERF
  // section, when replication is licensed and the list is rebuilt.
  std::vector<std::string> safe_volume_commands;
};

const Catalogue& prestats_catalogue();
const Catalogue& poststats_catalogue();

// The one evaluation rule of both catalogues.
std::vector<CatalogueStep> select(const Catalogue& catalogue, const core::FilerTarget& filer,
                                  const core::CurrentServices& services,
                                  const core::RunOptions& options);

}  // namespace catalogue
}  // namespace phases
