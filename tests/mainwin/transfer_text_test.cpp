#include <gtest/gtest.h>

#include <cstdint>
#include <tuple>

#include "mainwin/handoff_text.h"
#include "mainwin/transfer_text.h"

using namespace qb;

TEST(TransferText, AmountsRatesAndTimesReadAsFileManagersShowThem) {
  EXPECT_EQ(AmountText(0), "0 B");
  EXPECT_EQ(AmountText(999), "999 B");
  EXPECT_EQ(AmountText(1400), "1.4 KB");
  EXPECT_EQ(AmountText(999949), "999.9 KB");
  EXPECT_EQ(AmountText(999960), "1.0 MB") << "never 1000.0 KB";
  EXPECT_EQ(AmountText(12500000), "12.5 MB");
  EXPECT_EQ(AmountText(3210000000), "3.21 GB");
  EXPECT_EQ(AmountText(INT64_MAX), "9.22 EB");
  EXPECT_EQ(RateText(0), "");
  EXPECT_EQ(RateText(1.2e6), "1.2 MB/s");

  EXPECT_EQ(TimeLeftText(0, 1000, 100), "10 s");
  EXPECT_EQ(TimeLeftText(0, 24500, 100), "4 min 05 s");
  EXPECT_EQ(TimeLeftText(0, 7800000, 1000), "2 h 10 min");
  // Unknown size, nothing moving, more than expected, or days away: no guess.
  for (const auto& [bytes, total, rate] : {std::tuple<int64_t, int64_t, double>{0, -1, 100},
                                           {0, 1000, 0},
                                           {2000, 1000, 100},
                                           {0, INT64_MAX, 1}})
    EXPECT_EQ(TimeLeftText(bytes, total, rate), "") << bytes << " " << total << " " << rate;

  EXPECT_EQ(ProgressPercent(50, 200), 25);
  EXPECT_EQ(ProgressPercent(0, -1), 0);
  EXPECT_EQ(ProgressPercent(0, 0), 100) << "an empty file is whole at once";
  EXPECT_EQ(ProgressPercent(INT64_MAX - 1, INT64_MAX), 99);
}

TEST(TransferText, TheStatusBarSumsWhatIsInFlight) {
  EXPECT_EQ(TransfersStatusText({}), "");
  TransferTotals t;
  t.fetching = 2;
  t.bytes = 35000000;
  t.total = 120000000;
  t.rate = 4.2e6;
  t.queued = 1;
  EXPECT_EQ(TransfersStatusText(t), "Downloading 2 files: 35.0 MB of 120.0 MB, 4.2 MB/s, 1 queued");
  EXPECT_EQ(TransfersStatusText({.fetching = 0, .queued = 3}), "Downloads: 3 queued");
  Transfer failed;
  failed.state = TransferState::Failed;
  failed.text = "550 No such file";
  EXPECT_EQ(StateText(failed), "failed: 550 No such file");
}

TEST(HandoffText, ShellCommandsQuoteEverythingAndListsKeepOneUrlALine) {
  EXPECT_EQ(ShellQuoted("it's $HOME `x`"), "'it'\\''s $HOME `x`'");
  EXPECT_EQ(CurlCommand("ftp://h/a%27b", "-rf 'x", true),
            "curl --ssl-reqd -o '-rf '\\''x' -- 'ftp://h/a%27b'");
  EXPECT_EQ(CurlCommand("ftp://h/.bashrc", ".bashrc", false),
            "curl -o '_bashrc' -- 'ftp://h/.bashrc'");
  EXPECT_EQ(UrlListText({"ftp://h/a", "ftp://h/b\nftp://evil/", "ftp://h/c"}),
            "ftp://h/a\nftp://h/c\n");
}
