#pragma once
// The numbers of the templates' controls that code names, and the windows'
// colours, each written once. Headless code names controls through its views
// by these numbers; the windows find their controls by the same.
#include <array>
#include <cstdint>

namespace qb {

// ---- main dialog (template 1) ----
inline constexpr int MainTemplate = 1;
inline constexpr int IdPercent = 101;
inline constexpr int IdSiteList = 990;
inline constexpr int IdFileList = 1050;
inline constexpr int IdAnimation = 8000;
inline constexpr int IdProgress = 11000;
inline constexpr int IdSessions = 11102;
inline constexpr int IdWaiting = 11103;
inline constexpr int IdFinished = 11104;
inline constexpr int IdUsers = 11108;
inline constexpr int IdPause = 11200;
inline constexpr int IdShowAll = 11201;
inline constexpr int IdHideSites = 11202;
inline constexpr int IdReexplore = 11203;
inline constexpr int IdBandLabels = 11300;
inline constexpr int IdTotal = 11302;
inline constexpr int IdFolders = 11303;
inline constexpr int IdOpenUrl = 11304;
inline constexpr int IdCopyUrl = 11305;
inline constexpr int IdFiles = 11306;
inline constexpr int IdBandEnd = 11400;
inline constexpr int IdUrl = 11402;
inline constexpr int IdHost = 11502;
inline constexpr int IdTestedFile = 11601;
inline constexpr int IdStatusText = 11602;
inline constexpr int IdLoginReply = 11801;
inline constexpr int IdAnonymous = 11900;
inline constexpr int IdUser = 12002;
inline constexpr int IdPassword = 12003;
// Menu commands (menus 1 to 4).
inline constexpr int IdNewSearch = 4000;
inline constexpr int IdAbout = 4001;
inline constexpr int IdExit = 4002;
inline constexpr int IdSettings = 4003;
inline constexpr int IdHelp = 7000;
inline constexpr int IdCopySiteUrl = 610;
inline constexpr int IdCopyFileUrl = 620;
inline constexpr int IdExploreFolder = 630;

// ---- search dialog (template 30) ----
inline constexpr int SearchTemplate = 30;
inline constexpr int TermField = 109;
inline constexpr int AutoContinueBox = 102;
inline constexpr int SiteCountField = 134;
inline constexpr int SearchStartButton = 200;
inline constexpr int SearchStopButton = 178;
inline constexpr int SearchAnimation = 300;
// The line naming the engines that cannot answer, when some cannot.
inline constexpr int CannotAnswerNote = 19950;

// Each engine's controls, in engine table order.
struct EngineControls {
  int checkBox, foundList, resultsCounter, newSitesCounter, doneMark, failMark;
};
inline constexpr int EngineCount = 5;
inline constexpr std::array<EngineControls, EngineCount> EngineControlIds = {{
    {101, 104, 1200, 1300, 240, 110},
    {103, 121, 1400, 1500, 242, 112},
    {800, 114, 1600, 106, 241, 111},
    {187, 128, 123, 124, 108, 113},
    {118, 122, 116, 117, 125, 115},
}};

// ---- settings page (template 20) ----
inline constexpr int SettingsTemplate = 20;
inline constexpr int MinConnectBox = 101;
inline constexpr int HttpTimeOutBox = 104;
inline constexpr int VerifyTimeOutBox = 120;
inline constexpr int NbRetryBox = 105;
inline constexpr int Preset8Button = 200;
inline constexpr int Preset10Button = 201;
inline constexpr int Preset16Button = 202;
// The network and index pages, built in code: no template of their own.
inline constexpr int DataModeChoice = 300;
inline constexpr int KeepIndexBox = 301;
inline constexpr int EnginePauseBox = 302;
inline constexpr int ReportTermBox = 303;

// ---- about dialog (template 10) and information dialog (template 100) ----
inline constexpr int AboutTemplate = 10;
inline constexpr int AboutHomePageButton = 101;
inline constexpr int InfosTemplate = 100;
inline constexpr int InfosTextField = 200;

// ---- colours ----
struct Rgb {
  uint8_t r, g, b;
};
inline constexpr Rgb ListColour{255, 245, 235};
inline constexpr Rgb FieldColour{225, 235, 230};
inline constexpr Rgb PanelColour{250, 200, 120};
inline constexpr Rgb BandColour{192, 192, 192};
// The search and about dialogs' background.
inline constexpr Rgb DialogColour{225, 220, 180};
inline constexpr Rgb SearchEditColour{170, 230, 240};
inline constexpr Rgb FoundListColour{240, 255, 255};
inline constexpr Rgb DisabledFoundListColour{192, 192, 192};  // the platform's light grey brush

}  // namespace qb
