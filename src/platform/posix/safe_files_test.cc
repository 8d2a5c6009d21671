#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/platform.h"

namespace platform {
namespace {

namespace fs = std::filesystem;

class SafeFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/kestrel_safe_files_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root_ = pattern;
    old_umask_ = umask(0);  // the widest umask: nothing may come out open to others
  }
  void TearDown() override {
    umask(old_umask_);
    fs::remove_all(root_);
  }
  std::string at(const std::string& name) const { return root_ + "/" + name; }
  static std::string read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }
  static unsigned mode_of(const std::string& path) {
    struct stat info {};
    EXPECT_EQ(lstat(path.c_str(), &info), 0) << path;
    return info.st_mode & 07777;
  }
  void victim(const std::string& name) { std::ofstream(at(name)) << "victim\n"; }

  std::string root_;
  mode_t old_umask_ = 0;
};

TEST_F(SafeFiles, FoldersAndFilesAreForTheUserAloneWhateverTheUmask) {
  ASSERT_EQ(open_private_folder(at("gmon")), "");
  ASSERT_EQ(create_new_private_folder(at("trace") + "/"), "");
  EXPECT_EQ(mode_of(at("gmon")), 0700u);
  EXPECT_EQ(mode_of(at("trace")), 0700u);
  PrivateFile file;
  ASSERT_EQ(create_private_file(at("gmon"), "a.txt", file), "");
  EXPECT_EQ(write_private_file(file, "data\n", 5), "");
  EXPECT_EQ(close_private_file(file), "");
  EXPECT_EQ(read(at("gmon/a.txt")), "data\n");
  EXPECT_EQ(mode_of(at("gmon/a.txt")), 0600u);
}

TEST_F(SafeFiles, ALinkAtAFileIsRemovedNeverFollowed) {
  ASSERT_EQ(open_private_folder(at("gmon")), "");
  victim("target");
  ASSERT_EQ(symlink(at("target").c_str(), at("gmon/info.txt").c_str()), 0);
  PrivateFile file;
  ASSERT_EQ(create_private_file(at("gmon"), "info.txt", file), "");
  EXPECT_EQ(write_private_file(file, "new\n", 4), "");
  EXPECT_EQ(close_private_file(file), "");
  EXPECT_EQ(read(at("target")), "victim\n");
  EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(at("gmon/info.txt"))));
  EXPECT_EQ(read(at("gmon/info.txt")), "new\n");
}

TEST_F(SafeFiles, LinkedOrForeignFoldersAreRefused) {
  ASSERT_EQ(mkdir(at("elsewhere").c_str(), 0700), 0);
  ASSERT_EQ(symlink(at("elsewhere").c_str(), at("gmon").c_str()), 0);
  EXPECT_NE(open_private_folder(at("gmon")).find("symbolic link"), std::string::npos);
  EXPECT_NE(create_new_private_folder(at("gmon")).find("symbolic link"), std::string::npos);
  PrivateFile file;
  EXPECT_NE(create_private_file(at("gmon"), "x", file), "");
  EXPECT_TRUE(fs::is_empty(at("elsewhere")));

  // A trace folder is always new.
  ASSERT_EQ(mkdir(at("trace").c_str(), 0700), 0);
  EXPECT_NE(create_new_private_folder(at("trace")).find("already exists"), std::string::npos);

  // One that others could have filled is refused; an empty one is closed.
  ASSERT_EQ(mkdir(at("open").c_str(), 0777), 0);
  victim("open/planted");
  EXPECT_NE(open_private_folder(at("open")).find("other users"), std::string::npos);
  EXPECT_EQ(mode_of(at("open")), 0777u);
  ASSERT_EQ(mkdir(at("fresh").c_str(), 0777), 0);
  EXPECT_EQ(open_private_folder(at("fresh")), "");
  EXPECT_EQ(mode_of(at("fresh")), 0700u);
}

TEST_F(SafeFiles, CommandOutputIsCappedAndFailuresTold) {
  ASSERT_EQ(open_private_folder(at("out")), "");
  PrivateFile file;
  ASSERT_EQ(create_private_file(at("out"), "flood", file), "");
  OutputCopy copy = copy_command_output("yes flood", file, 1000, 20000);
  close_private_file(file);
  EXPECT_TRUE(copy.capped);
  EXPECT_FALSE(copy.timed_out);
  EXPECT_EQ(copy.bytes, 1000u);
  EXPECT_EQ(fs::file_size(at("out/flood")), 1000u);

  ASSERT_EQ(create_private_file(at("out"), "whole", file), "");
  copy = copy_command_output("printf 'abc\\n'", file, 1000, 20000);
  close_private_file(file);
  EXPECT_FALSE(copy.capped || copy.failed || copy.timed_out);
  EXPECT_EQ(read(at("out/whole")), "abc\n");

  ASSERT_EQ(create_private_file(at("out"), "failed", file), "");
  copy = copy_command_output("printf part; exit 3", file, 1000, 20000);
  close_private_file(file);
  EXPECT_TRUE(copy.failed);

  ASSERT_EQ(create_private_file(at("out"), "hung", file), "");
  copy = copy_command_output("printf part; sleep 60", file, 1000, 200);
  close_private_file(file);
  EXPECT_TRUE(copy.timed_out);
  EXPECT_EQ(read(at("out/hung")), "part");
}

}  // namespace
}  // namespace platform
