// One exchange with a real time server over each family: a private chronyd on 127.0.0.2 and ::1
// started by the test's wrapper script, whose clock is this machine's own, so the offset must
// come out near zero.
#include <gtest/gtest.h>
#include <string>
#include "sntp/exchange_harness.h"
#include "base/settings.h"
#include "sntp/exchange.h"
#include "sntp/reply.h"

namespace {

TEST(ChronyExchangeTest, RealServerGivesASuccessAndAnOffsetNearZero)
{
    StartNetwork();
    ResetHarness();
    Settings = SettingsRecord();
    Settings.MinAdjust = 100;
    TestOutputBox = HarnessOutputBox();
    for (const char *server : {"127.0.0.2", "::1"}) {
        SCOPED_TRACE(server);
        ASSERT_EQ(0, RunExchange(server, 0));
        EXPECT_EQ(0, ExchangeRecord.ExchangeFailed) << ExchangeRecord.ResultMessage;
        EXPECT_EQ(ExchangeIdle, ExchangeRecord.phase);
        EXPECT_EQ(INVALID_SOCKET, ExchangeRecord.socket);
        std::vector<std::string> lines = OutputLines();
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ("通信成功", lines.back());
        EXPECT_EQ("LI=0, VN=4, Mode=4, Stratum=10", lines[1]);
        EXPECT_LT(ClockOffset < 0 ? -ClockOffset : ClockOffset, 30000) << ClockOffset;  // 3 ms
        EXPECT_TRUE(ClockSettings.empty());
        printf("%s: offset %lld x 100 ns; %s\n", server, (long long)ClockOffset,
               ExchangeRecord.ResultMessage);
    }
    TestOutputBox = NULL;
    StopNetwork();
}

}  // namespace
