// Offset accuracy against a fake server whose clock runs exactly 5.000 s ahead: 50 whole
// exchanges, the absolute error of ClockOffset printed one per line and as p50/p99. The server is
// the in-process one on 127.0.0.1, or a native one at the address given as second argument.
#include <stdio.h>
#include <stdlib.h>
#include <algorithm>
#include <vector>
#include "sntp/exchange_harness.h"
#include "base/settings.h"
#include "sntp/exchange.h"
#include "sntp/reply.h"
#include "support/fake_ntp_server.h"

static double Percentile(std::vector<double> values, double fraction)
{
    std::sort(values.begin(), values.end());
    size_t index = (size_t)(fraction * (values.size() - 1) + 0.5);
    return values[index];
}

int main(int argc, char **argv)
{
    const int exchanges = argc > 1 ? atoi(argv[1]) : 50;
    const char *server = argc > 2 ? argv[2] : "127.0.0.1";
    const int inProcess = argc <= 2;
    const int64_t trueOffset = 50000000;     // 5.000 s in 100 ns units
    StartNetwork();
    CreateHarnessWindows();                  // also routes SetSystemClock to a recorder
    Settings.MinAdjust = 100;
    FakeNtpServerConfig config = {};
    config.offset = trueOffset;
    if (inProcess && FakeNtpServerStart(&config) != 0) {
        fprintf(stderr, "127.0.0.1:123 is taken\n");
        return 1;
    }
    std::vector<double> errors;
    for (int i = 0; i < exchanges; i++) {
        if (RunExchange(server, 0) != 0 || ExchangeRecord.ExchangeFailed) {
            fprintf(stderr, "exchange %d failed: %s\n", i, ExchangeRecord.ResultMessage);
            continue;
        }
        double error = llabs(ClockOffset - trueOffset) / 10000.0;   // milliseconds
        errors.push_back(error);
        printf("sample %d %.4f\n", i, error);
        Sleep(20);
    }
    FakeNtpServerStop();
    StopNetwork();
    if (errors.empty())
        return 1;
    printf("vellmarin %-9s exchanges=%u p50=%.3fms p99=%.3fms max=%.3fms\n", server,
           (unsigned)errors.size(), Percentile(errors, 0.50), Percentile(errors, 0.99),
           *std::max_element(errors.begin(), errors.end()));
    return 0;
}
