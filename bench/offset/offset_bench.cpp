// Offset accuracy against a fake server whose clock runs exactly 5.000 s ahead: whole exchanges,
// the absolute error of ClockOffset printed one per line and as p50/p99, then where the time of
// an exchange went. The server is the in-process one on 127.0.0.1, or a native one at the
// address given as second argument.
#include <stdio.h>
#include <stdlib.h>
#include <algorithm>
#include <vector>
#include "sntp/exchange_harness.h"
#include "base/settings.h"
#include "sntp/exchange.h"
#include "sntp/reply.h"
#include "support/fake_ntp_server.h"

static const int64_t TrueOffset = 50000000;     // 5.000 s in 100 ns units

static double Percentile(std::vector<double> values, double fraction)
{
    std::sort(values.begin(), values.end());
    size_t index = (size_t)(fraction * (values.size() - 1) + 0.5);
    return values[index];
}

static void PrintSpread(const char *name, const std::vector<double> &values)
{
    printf(" %s p50=%.3fms p99=%.3fms", name, Percentile(values, 0.50), Percentile(values, 0.99));
}

int main(int argc, char **argv)
{
    const int exchanges = argc > 1 ? atoi(argv[1]) : 50;
    const char *server = argc > 2 ? argv[2] : "127.0.0.1";
    const int inProcess = argc <= 2;
    StartNetwork();
    CreateHarnessWindows();                  // also routes SetSystemClock to a recorder
    Settings.MinAdjust = 100;
    FakeNtpServerConfig config = {};
    config.offset = TrueOffset;
    if (inProcess && FakeNtpServerStart(&config) != 0) {
        fprintf(stderr, "127.0.0.1:123 is taken\n");
        return 1;
    }
    std::vector<double> errors, outbound, serverTime, inbound;
    for (int i = 0; i < exchanges; i++) {
        LastHandedOver.length = 0;
        if (RunExchange(server, 0) != 0 || ExchangeRecord.ExchangeFailed) {
            fprintf(stderr, "exchange %d failed: %s\n", i, ExchangeRecord.ResultMessage);
            continue;
        }
        double error = llabs(ClockOffset - TrueOffset) / 10000.0;   // milliseconds
        errors.push_back(error);
        printf("sample %d %.4f\n", i, error);
        if (LastHandedOver.length >= 48) {
            // Server and client read the same machine clock, so each leg can be told apart; the
            // server's stamps are read from the reply the receiving thread handed over.
            int64_t t1 = (int64_t)ExchangeRecord.sendTime, t4 = (int64_t)ExchangeRecord.receiveTime;
            int64_t t2 = (int64_t)NtpToFileTime(NetworkToHostTimestamp(LastHandedOver.data + 32));
            int64_t t3 = (int64_t)NtpToFileTime(NetworkToHostTimestamp(LastHandedOver.data + 40));
            t2 -= TrueOffset;
            t3 -= TrueOffset;
            outbound.push_back((t2 - t1) / 10000.0);
            serverTime.push_back((t3 - t2) / 10000.0);
            inbound.push_back((t4 - t3) / 10000.0);
        }
        Sleep(20);
    }
    FakeNtpServerStop();
    StopNetwork();
    if (errors.empty())
        return 1;
    printf("vellmarin %-9s exchanges=%u p50=%.3fms p99=%.3fms max=%.3fms\n", server,
           (unsigned)errors.size(), Percentile(errors, 0.50), Percentile(errors, 0.99),
           *std::max_element(errors.begin(), errors.end()));
    if (!outbound.empty()) {
        printf("legs      %-9s", server);
        PrintSpread("t1->t2", outbound);
        PrintSpread("t2->t3", serverTime);
        PrintSpread("t3->t4", inbound);
        printf("\n");
    }
    return 0;
}
