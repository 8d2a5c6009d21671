#include "phases/filer_sections.h"

#include <gtest/gtest.h>

#include "core/state.h"
#include "phases/vzone_expansion.h"

namespace {

TEST(ExpandTemplate, FillsEveryPlaceholder) {
  EXPECT_EQ(phases::expand_template("rdfile VZPATH/etc/exports", "vz1", "/vol/vz1root"),
            "rdfile /vol/vz1root/etc/exports");
  EXPECT_EQ(phases::expand_template("vzone run VZNAME df VZNAME", "vz2", "/p"),
            "vzone run vz2 df vz2");
}

TEST(ExpandTemplate, PlaceholdersInsideValuesAreTakenLiterally) {
  EXPECT_EQ(phases::expand_template("VZNAME:VZPATH", "aVZPATHb", "VZNAME"), "aVZPATHb:VZNAME");
  EXPECT_EQ(phases::expand_template("VZNAME", "VZNAMEVZNAME", ""), "VZNAMEVZNAME");
}

TEST(LogCopies, NamesComeBeforeTheFirstBlankAndSomeAreSkipped) {
  core::reset_state();
  bool capped = true;
  std::vector<std::string> commands = phases::log_copy_commands(
      "f1", {".", "..", "messages 1234 Dec 7", "cm_stats.1", "sktrace_x", "ems", ""}, capped);
  EXPECT_FALSE(capped);
  EXPECT_EQ(commands,
            (std::vector<std::string>{"rdfile /etc/log/messages", "rdfile /etc/log/ems"}));
}

TEST(LogCopies, AtMostOneHundredWithTheNote) {
  core::reset_state();
  std::vector<std::string> listing;
  for (int i = 0; i < 150; ++i) listing.push_back("log" + std::to_string(i));
  bool capped = false;
  std::vector<std::string> commands = phases::log_copy_commands("f1", listing, capped);
  EXPECT_TRUE(capped);
  ASSERT_EQ(commands.size(), 100u);
  EXPECT_EQ(commands.back(), "rdfile /etc/log/log99");

  listing.resize(100);
  commands = phases::log_copy_commands("f1", listing, capped);
  EXPECT_TRUE(capped) << "the note comes also when the 100th file is the last";
  listing.resize(99);
  commands = phases::log_copy_commands("f1", listing, capped);
  EXPECT_FALSE(capped);
}

}  // namespace
