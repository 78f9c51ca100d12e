// Random and mutated datagrams through ProcessReply over loopback socket pairs, IPv4 and IPv6 in
// turn: whatever arrives, the outcome is one of the documented messages and the socket is closed.
#include <gtest/gtest.h>
#include <string.h>
#include <set>
#include <string>
#include "sntp/exchange_harness.h"
#include "base/settings.h"
#include "sntp/exchange.h"
#include "sntp/reply.h"
#include "support/fake_ntp_server.h"

namespace {

struct NetworkEnvironment : testing::Environment {
    void SetUp() override { StartNetwork(); }
    void TearDown() override { StopNetwork(); }
};
testing::Environment *const network = testing::AddGlobalTestEnvironment(new NetworkEnvironment);

uint32_t RandomState = 0x9E3779B9u;

uint32_t NextRandom(void)
{
    RandomState ^= RandomState << 13;
    RandomState ^= RandomState >> 17;
    RandomState ^= RandomState << 5;
    return RandomState;
}

const std::set<std::string> FailureMessages = {
    "エラー:データ受信失敗。",
    "エラー:受信データ長エラー",
    "ｴﾗｰ:ｻｰﾊﾞｰのﾊﾞｰｼﾞｮﾝが違います。",
    "ｴﾗｰ:ｻｰﾊﾞｰのﾓｰﾄﾞが違います。",
    "ｴﾗｰ:ﾀｲﾑｽﾀﾝﾌﾟｵｰﾊﾞｰﾌﾛｰ",
    "ｴﾗｰ:有効なｻｰﾊﾞｰではありません。",
    "ｴﾗｰ:送信ﾀｲﾑｽﾀﾝﾌﾟｴﾗｰ。",
    "ｴﾗｰ:基点ﾀｲﾑｽﾀﾝﾌﾟｴﾗｰ。",
    "ｴﾗｰ:ｻｰﾊﾞｰの時計が同期していません。",
    "エラー：通信中の時刻修正を検出",
    "ｴﾗｰ:ｻｰﾊﾞｰの時刻の精度が低すぎます。",
};

// A kiss names its code: four printable characters.
int IsKissMessage(const std::string &message)
{
    const std::string head = "ｴﾗｰ:ｻｰﾊﾞｰから拒否されました(";
    if (message.size() != head.size() + 5 || message.compare(0, head.size(), head) != 0)
        return 0;
    for (size_t i = head.size(); i < head.size() + 4; ++i)
        if (message[i] < 0x20 || message[i] > 0x7E)
            return 0;
    return message.back() == ')';
}

// "%s 秒の誤差を補正しました。" and its two siblings, with the current ClockErrorText.
int IsEvaluationMessage(const std::string &message)
{
    std::string error = ClockErrorText;
    return message == error + " 秒の誤差を補正しました。" ||
           message.rfind("時計を変更できませんでした。誤差は " + error + " 秒です。", 0) == 0 ||
           message == "時計の誤差は " + error + " 秒です。";
}

int IsClockErrorText(const char *text)
{
    const char *p = text;
    if (*p == '-')
        p++;
    const char *dot = strchr(p, '.');
    if (dot == NULL || dot == p || strlen(dot) != 4)
        return 0;
    for (const char *c = p; *c != '\0'; c++)
        if (c != dot && (*c < '0' || *c > '9'))
            return 0;
    return 1;
}

// A valid reply with one field spoiled: a random byte, bit or whole field.
int MutatedReply(uint8_t *data, uint64_t t1)
{
    uint64_t t2 = t1 + NextRandom() % 30000000;
    BuildReply(data, t2, t2 + NextRandom() % 100000, NextRandom() % 4, 1 + NextRandom() % 15);
    int length = 48 + (int)(NextRandom() % 3);
    switch (NextRandom() % 6) {
    case 0:
        data[NextRandom() % 48] = (uint8_t)NextRandom();
        break;
    case 1:
        data[NextRandom() % 48] ^= (uint8_t)(1u << (NextRandom() % 8));
        break;
    case 2: {
        int field = 16 + 8 * (int)(NextRandom() % 4);  // one of the four timestamps
        for (int i = 0; i < 8; i++)
            data[field + i] = (uint8_t)NextRandom();
        break;
    }
    case 3:
        length = 44 + (int)(NextRandom() % 17);      // 44..60 bytes
        break;
    case 4:
        data[0] = (uint8_t)NextRandom();
        break;
    default:
        break;  // left valid: the success paths get their share
    }
    return length;
}

TEST(ReplyFuzzTest, RandomAndMutatedDatagramsEndInDocumentedOutcomes)
{
    ResetHarness();
    Settings = SettingsRecord();
    Settings.DispLeap = 1;
    ExchangeRecord.serverName = "127.0.0.1";
    const uint64_t t1 = FileTimeOf(2026, 12, 7, 5, 30, 0, 0);
    const int rounds = 100000;
    int outcomes[3] = {0, 0, 0};
    int strangers = 0;
    for (int round = 0; round < rounds; round++) {
        uint8_t data[64] = {0};
        int length;
        ExchangeRecord.sendTime = t1;
        ExchangeRecord.sendStamp = ((uint64_t)NextRandom() << 32) | NextRandom();
        if (round % 3 == 0) {
            length = (int)(NextRandom() % 61);
            for (int i = 0; i < length; i++)
                data[i] = (uint8_t)NextRandom();
        } else {
            length = MutatedReply(data, t1);
        }
        Settings.MinAdjust = (int32_t)(NextRandom() % 10000);
        ClockSettingResult = NextRandom() % 2;
        TestOutputBox = round % 97 == 0 ? HarnessOutputBox() : NULL;
        if (TestOutputBox != NULL)
            SetWindowTextA(TestOutputBox, "");
        UseFixedClock({t1 + (NextRandom() % 25) * 1000000});
        ExchangeRecord.ResultMessage[0] = '\0';
        int stranger = round % 50 == 7;
        int family = round % 4 < 2 ? AF_INET : AF_INET6;     // strangers of both, too
        int result = DeliverAndProcess(data, length, stranger ? 0 : 123, family);
        if (stranger) {
            ASSERT_EQ(-1, result) << round;
            ASSERT_EQ(ExchangeAwaitingReply, ExchangeRecord.phase);
            ASSERT_STREQ("", ExchangeRecord.ResultMessage);
            CloseExchange();
            strangers++;
            continue;
        }
        ASSERT_TRUE(result == 0 || result == 1) << round << " gave " << result;
        outcomes[result]++;
        ASSERT_EQ(INVALID_SOCKET, ExchangeRecord.socket) << round;
        ASSERT_EQ(ExchangeIdle, ExchangeRecord.phase) << round;
        ASSERT_EQ(result, ExchangeRecord.ExchangeFailed) << round;
        std::string message = ExchangeRecord.ResultMessage;
        if (result == 1) {
            ASSERT_TRUE(FailureMessages.count(message) == 1 || IsKissMessage(message)) << round << ": " << message;
        } else {
            ASSERT_TRUE(IsClockErrorText(ClockErrorText)) << round << ": " << ClockErrorText;
            ASSERT_TRUE(IsEvaluationMessage(message)) << round << ": " << message;
        }
    }
    CloseSenders();
    EXPECT_GT(outcomes[0], rounds / 50);
    EXPECT_GT(outcomes[1], rounds / 2);
    printf("succeeded %d, failed %d, dropped %d\n", outcomes[0], outcomes[1], strangers);
}

}  // namespace
