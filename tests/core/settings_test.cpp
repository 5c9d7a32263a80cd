#include "core/settings.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>
#include <sstream>

#include "core/ini_file.h"
#include "core/service_hosts.h"

using namespace qb;

namespace {

class SettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/qb-settings-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    ExeDir = dir_ + "/";
  }
  void TearDown() override {
    std::remove(SettingsPath().c_str());
    rmdir(dir_.c_str());
  }
  void Write(const std::string& text) { std::ofstream(SettingsPath()) << text; }
  std::string Read() {
    std::ifstream in(SettingsPath());
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  static std::vector<int> Values() {
    return {Settings.MinConnect, Settings.HttpTimeOut, Settings.VerifyTimeOut, Settings.NbRetry};
  }
  std::string dir_;
};

TEST_F(SettingsTest, DefaultsWithoutFileAndFileStaysAbsent) {
  LoadSettings();
  EXPECT_EQ(Values(), (std::vector<int>{8, 50, 15, 4}));
  EXPECT_FALSE(std::ifstream(SettingsPath()).good());
}

TEST_F(SettingsTest, PartialSectionEmptyValueAndNonNumbers) {
  Write("[config]\nhttptimeout = 30\nNbRetry=\nVerifyTimeOut=12abc\n[Other]\nMinConnect=99\n");
  LoadSettings();
  // An empty value is no number: the default stays.
  EXPECT_EQ(Values(), (std::vector<int>{8, 30, 12, 4}));
}

// Values a hand-edited file holds outside a setting's range read as its nearest
// bound, so that no session count of 0 or time-out of 0 reaches exploring.
TEST_F(SettingsTest, ValuesOutsideTheirRangeReadAsTheNearestBound) {
  Write(
      "[Config]\nMinConnect=0\nHttpTimeOut=-3\nVerifyTimeOut=99999\nNbRetry=-1\n"
      "EnginePause=0\nKeepIndex=7\nReportTerm=abc\n");
  LoadSettings();
  EXPECT_EQ(Values(), (std::vector<int>{1, 1, 3600, 1}));
  EXPECT_EQ(Settings.EnginePause, 0);  // allowed from the file
  EXPECT_EQ(Settings.KeepIndex, 1);
  EXPECT_EQ(Settings.ReportTerm, 1);
  Write("[Config]\nMinConnect=65\nHttpTimeOut=601\nNbRetry=21\nEnginePause=60001\n");
  LoadSettings();
  EXPECT_EQ(Values(), (std::vector<int>{64, 600, 15, 20}));
  EXPECT_EQ(Settings.EnginePause, 60000);
}

TEST(SettingText, TheSheetTakesWholeNumbersInsideTheRangeAndNamesTheFieldOtherwise) {
  int32_t value = -1;
  std::string problem;
  EXPECT_TRUE(ReadSettingText(&SettingsData::MinConnect, " 64 ", value, problem));
  EXPECT_EQ(value, 64);
  for (const char* text : {"0", "65", "abc", "", "8x", "-1", "99999999999"}) {
    problem.clear();
    EXPECT_FALSE(ReadSettingText(&SettingsData::MinConnect, text, value, problem)) << text;
    EXPECT_EQ(problem, "FTP sessions at the same time must be a whole number from 1 to 64.");
  }
  EXPECT_FALSE(ReadSettingText(&SettingsData::EnginePause, "0", value, problem));
  EXPECT_EQ(problem,
            "Pause between two requests to one search host (ms) must be a whole number from 250 "
            "to 60000.");
  EXPECT_TRUE(ReadSettingText(&SettingsData::VerifyTimeOut, "0", value, problem));
  EXPECT_EQ(value, 0);
}

TEST_F(SettingsTest, LongValueIsCutAt39Characters) {
  Write("[Config]\nMinConnect=" + std::string(38, '0') + "12\n");
  LoadSettings();
  EXPECT_EQ(Settings.MinConnect, 1);  // the 40th character is lost
}

TEST_F(SettingsTest, SaveRoundTripsNegativesAndKeepsOtherContent) {
  Write("; my comment\n[Hosts]\nAnchorEngine=127.0.0.1:8080\n[Config]\nHttpTimeOut=30\nOdd=1\n");
  Settings.MinConnect = 10;
  Settings.HttpTimeOut = 0;
  Settings.VerifyTimeOut = 15;
  Settings.NbRetry = -5;
  SaveSettings();
  const std::string text = Read();
  EXPECT_NE(text.find("; my comment\n"), std::string::npos);
  EXPECT_NE(text.find("AnchorEngine=127.0.0.1:8080\n"), std::string::npos);
  EXPECT_NE(text.find("Odd=1\n"), std::string::npos);
  EXPECT_NE(text.find("HttpTimeOut=0\n"), std::string::npos);
  EXPECT_NE(text.find("NbRetry=-5\n"), std::string::npos);
  EXPECT_EQ(text.find("HttpTimeOut=30"), std::string::npos);
  Settings.NbRetry = 0;
  LoadSettings();
  EXPECT_EQ(Values(), (std::vector<int>{10, 1, 15, 1}));  // read back inside their ranges
  EXPECT_EQ(ServiceHost("AnchorEngine", "x.invalid"), "127.0.0.1:8080");
  EXPECT_EQ(ServiceHost("PathEngine", "x.invalid"), "x.invalid");
}

TEST_F(SettingsTest, SaveCreatesFileInKeyOrder) {
  Settings.MinConnect = 8;
  Settings.HttpTimeOut = 50;
  Settings.VerifyTimeOut = 15;
  Settings.NbRetry = 4;
  Settings.EnginePause = 250;
  Settings.ReportTerm = 1;
  SaveSettings();
  Settings.DataMode = FtpDataMode::Passive;
  Settings.Tls = TlsMode::WhenOffered;
  SaveSettings();
  EXPECT_EQ(
      Read(),
      "[Config]\nMinConnect=8\nHttpTimeOut=50\nVerifyTimeOut=15\nNbRetry=4\n"
      "KeepIndex=1\nEnginePause=250\nReportTerm=1\nFastStart=0\nCrawlDepth=8\nCrawlFolders=20000\n"
      "CrawlEntries=2000000\nCrawlMinutes=30\nCrawlSessions=1\nCrawlPause=0\n"
      "TransfersPerHost=2\nTransfersAtOnce=4\nOpenOnDoubleClick=0\nSiteListsOffered=0\n"
      "Tls=when offered\nDownloadFolder=\nDataMode=passive\n");
}

TEST_F(SettingsTest, TheIndexIsKeptUnlessTurnedOff) {
  LoadSettings();
  EXPECT_EQ(Settings.KeepIndex, 1);
  Write("[Config]\nKeepIndex=0\n");
  LoadSettings();
  EXPECT_EQ(Settings.KeepIndex, 0);
  Settings.KeepIndex = 1;
}

TEST_F(SettingsTest, DataModeIsPassiveUnlessActiveIsWritten) {
  const std::pair<const char*, FtpDataMode> cases[] = {
      {"", FtpDataMode::Passive},
      {"DataMode=ACTIVE\n", FtpDataMode::Active},
      {"DataMode=port\n", FtpDataMode::Passive},
      {"DataMode=\n", FtpDataMode::Passive},
  };
  for (const auto& [line, mode] : cases) {
    Write(std::string("[Config]\n") + line);
    Settings.DataMode = mode == FtpDataMode::Active ? FtpDataMode::Passive : FtpDataMode::Active;
    LoadSettings();
    EXPECT_EQ(Settings.DataMode, mode) << line;
  }
  Settings.DataMode = FtpDataMode::Active;
  SaveSettings();
  Settings.DataMode = FtpDataMode::Passive;
  LoadSettings();
  EXPECT_EQ(Settings.DataMode, FtpDataMode::Active);
}

TEST_F(SettingsTest, TlsIsWhenOfferedUnlessRequiredOrNeverIsWritten) {
  const std::pair<const char*, TlsMode> cases[] = {
      {"", TlsMode::WhenOffered},
      {"Tls=Required\n", TlsMode::Required},
      {"Tls=never\n", TlsMode::Never},
      {"Tls=sometimes\n", TlsMode::WhenOffered},
  };
  for (const auto& [line, mode] : cases) {
    Write(std::string("[Config]\n") + line);
    Settings.Tls = mode == TlsMode::Never ? TlsMode::Required : TlsMode::Never;
    LoadSettings();
    EXPECT_EQ(Settings.Tls, mode) << line;
  }
  Settings.Tls = TlsMode::Never;
  SaveSettings();
  Settings.Tls = TlsMode::WhenOffered;
  LoadSettings();
  EXPECT_EQ(Settings.Tls, TlsMode::Never);
}

TEST_F(SettingsTest, UnwritableDirectoryIsSilent) {
  ExeDir = dir_ + "/missing/sub/";
  Settings.MinConnect = 3;
  SaveSettings();
  EXPECT_EQ(Settings.MinConnect, 3);
  ExeDir = dir_ + "/";
}

TEST_F(SettingsTest, VeryLongExeDirIsHandled) {
  ExeDir = dir_ + "/" + std::string(300, 'd') + "/";
  LoadSettings();  // no file there: defaults, no overrun
  EXPECT_EQ(Settings.HttpTimeOut, 50);
  ExeDir = dir_ + "/";
}

}  // namespace
