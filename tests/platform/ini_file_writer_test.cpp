#include "platform/ini_file_writer.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "platform/exception.h"
#include "platform/ini_file.h"
#include "tests/support/temp_dir.h"
#include "tests/support/thrown_message.h"

namespace kestova {
namespace {

using test::ThrownMessage;

ino_t Inode(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

class IniFileWriterTest : public ::testing::Test {
 protected:
  test::TTempDir FDir{"kestova-ini-writer"};
};

TEST_F(IniFileWriterTest, ChangesOneKeyInPlaceAndKeepsTheRestOfTheFile) {
  const std::string before =
      "\xEF\xBB\xBF; settings of the port\r\n"
      "[Other]\r\n"
      "Width=20\r\n"
      "\r\n"
      "[comDisplay]\r\n"
      "  baudrate =  7\r\n"
      "; keep me\r\n"
      "PARITY=0\r\n"
      "\r\n"
      "[COMDISPLAY]\r\n"
      "BAUDRATE=9\r\n";
  const std::string path = FDir.WriteFile("port.ini", before);
  TIniFileWriter writer(path);
  writer.WriteString("COMDISPLAY", "BAUDRATE", "13");
  writer.UpdateFile();
  std::string expected = before;
  expected.replace(expected.find("  baudrate =  7"), 15, "  baudrate =  13");
  EXPECT_EQ(test::ReadWholeFile(path), expected);
  EXPECT_EQ(TIniFile(path).ReadInteger("comDisplay", "BAUDRATE", -1), 13);
}

TEST_F(IniFileWriterTest, MissingKeysAndSectionsAreAddedWhereTheyBelong) {
  const std::string path = FDir.WriteFile("port.ini", "[A]\nx=1\n\n[B]\ny=2");
  TIniFileWriter writer(path);
  writer.WriteString("a", "z", "3");    // after the section's last line, before the blank one
  writer.WriteString("B", "w", "4");    // the last line had no line break
  writer.WriteInteger("C", "FLAG", 1);  // a new section at the end
  writer.WriteString("C", "COMNAME", "COM3");
  writer.UpdateFile();
  EXPECT_EQ(test::ReadWholeFile(path), "[A]\nx=1\nz=3\n\n[B]\ny=2\nw=4\n\n[C]\nFLAG=1\nCOMNAME=COM3\n");

  const std::string fresh = FDir.File("fresh.ini");
  TIniFileWriter created(fresh);
  created.WriteString("S", "k", "v");
  created.UpdateFile();
  EXPECT_EQ(test::ReadWholeFile(fresh), "[S]\nk=v\n");
  EXPECT_EQ(TIniFile(fresh).ReadString("S", "k", ""), "v");
}

TEST_F(IniFileWriterTest, FileIsReplacedInOneStepAndKeepsItsModeAndLinks) {
  const std::string path = FDir.WriteFile("port.ini", "[S]\nk=old\n");
  ASSERT_EQ(chmod(path.c_str(), 0640), 0);
  const std::string link = FDir.File("link.ini");
  std::filesystem::create_symlink(path, link);
  const ino_t oldInode = Inode(path);

  TIniFileWriter writer(link);
  writer.WriteString("S", "k", "new");
  writer.UpdateFile();
  EXPECT_EQ(test::ReadWholeFile(path), "[S]\nk=new\n");
  EXPECT_NE(Inode(path), oldInode) << "renamed over, not rewritten in place";
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  struct stat st {};
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  int entries = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(FDir.Path())) ++entries;
  EXPECT_EQ(entries, 2) << "no temporary file is left";
}

TEST_F(IniFileWriterTest, FailedWriteRaisesAndLeavesNothingBehind) {
  TIniFileWriter writer(FDir.File("missing-folder/port.ini"));
  writer.WriteString("S", "k", "v");
  EXPECT_EQ(ThrownMessage<Exception>([&] { writer.UpdateFile(); }),
            "Cannot write " + FDir.File("missing-folder/port.ini") + ": No such file or directory");
  std::filesystem::create_directory(FDir.File("folder.ini"));
  EXPECT_THROW(TIniFileWriter{FDir.File("folder.ini")}, Exception) << "a folder is not an INI file";
}

TEST_F(IniFileWriterTest, NamesTheReaderWouldFindDifferentlyAreRefused) {
  struct Case {
    const char* section;
    const char* key;
    const char* value;
  };
  const Case cases[] = {
      {"a]b", "k", "v"}, {" S", "k", "v"}, {"S\n", "k", "v"}, {"S", "", "v"},    {"S", "a=b", "v"},
      {"S", " k", "v"},  {"S", ";k", "v"}, {"S", "[k", "v"},  {"S", "k\r", "v"}, {"S", "k", "v\nw=1"},
  };
  TIniFileWriter writer(FDir.File("port.ini"));
  for (const Case& c : cases)
    EXPECT_THROW(writer.WriteString(c.section, c.key, c.value), Exception) << c.section << c.key;
  EXPECT_EQ(writer.Text(), "");
}

}  // namespace
}  // namespace kestova
