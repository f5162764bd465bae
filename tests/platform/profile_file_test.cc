#include "platform/profile_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/file_exception.h"
#include "support/bytes.h"
#include "support/data_dir.h"
#include "support/faulty_file_system.h"
#include "support/temp_dir.h"

namespace talmor {
namespace {

constexpr char kIni[] = "qvtalmor.ini";

using testing::ReadBytes;
using testing::WriteBytes;

class ProfileFileTest : public ::testing::Test {
 protected:
  ProfileFileTest() { std::filesystem::create_directories(tmp_.File("win")); }
  std::string Path() const { return tmp_.File("win/qvtalmor.ini"); }
  std::string Get(std::string_view section, std::string_view key, std::string_view def = "DEF",
                  size_t size = 80) {
    return GetProfileString(kIni, section, key, def, size);
  }

  TempDir tmp_;
  ScopedEnv env_{"QUORVANE_WINDIR", tmp_.File("win")};
};

TEST_F(ProfileFileTest, LookupIgnoresCaseAndBlanksStripsQuotesAndTellsEmptyFromMissing) {
  WriteBytes(Path(),
            "IsGCMD=before any section\n"
            "; a comment\n"
            "[Other]\n"
            "IsGCMD=other\n"
            "  [ acquisition ]  ; trailing note\n"
            "  isgcmd  =   \"TRUE\"  \n"
            "a line of no known form\n"
            "[Login]\n"
            "UserName=\n"
            "Quoted='single'\n"
            "Mixed=\"mixed'\n"
            "Lone=\"\n"
            "Doubled=\"\"\"\"\n"
            "EmptyQuoted=''\n"
            "Inner=a \"b\" c\n"
            "Eq=x=y\n"
            "[AuditLog]\n"
            "WinPos=0,1,-1,-1,-1,-1,10,20,610,420\n"
            "[Login]\n"
            "Second=from the second Login section\n");
  struct Row {
    const char *section, *key, *value;
    size_t size;
  };
  // A key present but empty is not the default; values are cut at size - 1 after the quotes go.
  for (const Row& r : {Row{"ACQUISITION", "IsGcmd", "TRUE", 80}, {"Login", "UserName", "", 80},
                       {"Login", "Absent", "DEF", 80}, {"Nowhere", "UserName", "DEF", 80},
                       {"Login", "Quoted", "single", 80}, {"Login", "Mixed", "\"mixed'", 80},
                       {"Login", "Lone", "\"", 80}, {"Login", "Doubled", "\"\"", 80}, {"Login", "EmptyQuoted", "", 80},
                       {"Login", "Inner", "a \"b\" c", 80}, {"Login", "Eq", "x=y", 80},
                       {"Login", "Second", "from the second Login section", 80},
                       {"AuditLog", "WinPos", "0,1,-1,-1,-1,-1,10,20,610,420", 78},
                       {"AuditLog", "WinPos", "0,1,-1,-1", 10}, {"acquisition", "isgcmd", "TR", 3}}) {
    EXPECT_EQ(Get(r.section, r.key, "DEF", r.size), r.value) << r.section << "/" << r.key;
  }
}

TEST_F(ProfileFileTest, WritesChangeOnlyTheirLineAndAppendKeysAndSections) {
  const std::string original =
      "; settings\n"
      "[Acquisition]\n"
      "  IsGCMD = FALSE\n"
      "Other=1\n"
      "\n"
      "[Login]\n"
      "UserName=bob\n"
      "\n"
      "junk without equals";
  WriteBytes(Path(), original);
  WriteProfileString(kIni, "ACQUISITION", "isgcmd", "TRUE");
  WriteProfileString(kIni, "acquisition", "NewKey", "v");
  WriteProfileString(kIni, "AuditLog", "OldestFirst", "FALSE");
  WriteProfileString(kIni, "Login", "UserName", " spaced ");
  EXPECT_EQ(ReadBytes(Path()),
            "; settings\n"
            "[Acquisition]\n"
            "  IsGCMD =TRUE\n"
            "Other=1\n"
            "NewKey=v\n"
            "\n"
            "[Login]\n"
            "UserName= spaced \n"
            "\n"
            "junk without equals\n"
            "[AuditLog]\n"
            "OldestFirst=FALSE\n");
  EXPECT_EQ(Get("Login", "UserName"), "spaced");
}

TEST_F(ProfileFileTest, WriteCreatesTheFileKeepsCrLfAndCannotInjectLines) {
  WriteProfileString(kIni, "Login", "UserName", "alice");
  EXPECT_EQ(ReadBytes(Path()), "[Login]\nUserName=alice\n");
  EXPECT_EQ(Get("login", "username"), "alice");

  WriteBytes(Path(), "[Login]\r\nUserName=alice\r\n[AuditLog]\r\nWinPos=1");
  WriteProfileString(kIni, "AuditLog", "OldestFirst", "TRUE");
  WriteProfileString(kIni, "Login", "UserName", "mallory\r\n[Acquisition]\r\nIsGCMD=TRUE");
  EXPECT_EQ(ReadBytes(Path()),
            "[Login]\r\nUserName=mallory\r\n[AuditLog]\r\nWinPos=1\r\nOldestFirst=TRUE\r\n");
  EXPECT_EQ(Get("Acquisition", "IsGCMD"), "DEF");
}

TEST_F(ProfileFileTest, AFailedRenameLeavesTheFileAsItWas) {
  const std::string original = "[Login]\nUserName=bob\n";
  WriteBytes(Path(), original);
  testing::FaultyFileSystem faults;
  faults.Arm(testing::FaultKind::kRename, 1);
  {
    testing::ScopedFileSystem installed(faults);
    EXPECT_THROW(WriteProfileString(kIni, "Login", "UserName", "carol"), FileException);
  }
  EXPECT_EQ(ReadBytes(Path()), original);
  EXPECT_EQ(testing::FileNames(tmp_.File("win")), std::vector<std::string>{"qvtalmor.ini"});
}

}  // namespace
}  // namespace talmor
