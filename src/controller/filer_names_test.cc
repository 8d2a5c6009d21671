#include "controller/filer_names.h"

#include <gtest/gtest.h>

namespace {

TEST(TargetNames, HostNamesAndAddressesPass) {
  for (const char* name : {"filer1", "filer-1.example.com", "10.0.0.7", "a_b", "x"}) {
    EXPECT_EQ(controller::target_name_problem(name, false), "") << name;
  }
  EXPECT_EQ(controller::target_name_problem("fe80::1", true), "");
  EXPECT_NE(controller::target_name_problem("fe80::1", false), "") << "no ':' in a host name";
}

TEST(TargetNames, NamesThatWouldRunOrEscapeAreRefused) {
  for (const char* name : {"h$(touch X)", "../../victim", "..", ".", "a b", "a;b", "a\"b", "a/b",
                           "a\\b", "-rf", "", "%TEMP%", "h`id`"}) {
    EXPECT_NE(controller::target_name_problem(name, true), "") << name;
  }
  EXPECT_NE(controller::target_name_problem(std::string(256, 'a'), true), "");
  EXPECT_EQ(controller::target_name_problem(std::string(255, 'a'), true), "");
}

TEST(TargetNames, ScratchFileNamesAreRefusedInAnyCase) {
  // Also the numbered files of controllers collected side by side.
  for (const char* name : {"error.log", "tmp.out", "lsout", "ERROR.LOG", "Tmp.Out", "tmp-0.out",
                           "lsout-12", "SPOOL-3", "stderr-63"}) {
    EXPECT_NE(controller::target_name_problem(name, true), "") << name;
  }
  for (const char* name : {"error.log2", "tmp-.out", "tmp-x.out", "spool-", "spool-1a", "lsout-1-2",
                           "stderr1", "my-spool-1"}) {
    EXPECT_EQ(controller::target_name_problem(name, true), "") << name;
  }
}

}  // namespace
