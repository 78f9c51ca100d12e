// The second opinion's walk: the next servers of the list after the selected one, each at every
// address its name has, until two agree or the step check refuses the step.
#include "app/opinion_walk.h"

#include <stdio.h>

#include "base/settings.h"
#include "sntp/exchange.h"
#include "sntp/host_lookup.h"
#include "sntp/kiss_memory.h"
#include "sntp/reply.h"
#include "sntp/step_check.h"

int AskNextOpinion(const OpinionListRecord *list, const char *lastAsked, int failed)
{
    int first = list->selectedIndex();
    int count = list->count();
    int verdict = failed ? StepCheckFailed(lastAsked) : StepAskNext;
    while (verdict == StepAskNext && first >= 0 && count > 0) {
        const char *server = list->nameAt((first + StepServersAsked()) % count);
        if (ServerRefused(server) == NULL && list->ask(server) == 0)
            return 1;
        verdict = StepCheckFailed(server);
    }
    RefuseLargeStep();
    ExchangeRecord.ExchangeFailed = 1;
    return 0;
}

int AskSameOpinionNextAddress(const OpinionListRecord *list, const char *lastAsked)
{
    // The query started here rewrites the name it was given: the walk keeps its own copy.
    char server[ServerNameMax + 1];
    snprintf(server, sizeof server, "%s", lastAsked ? lastAsked : "");
    for (int tried = 0; tried < LookupAddressMax && NameHasAddressesLeft(server); ++tried) {
        if (list->ask(server) == 0)
            return 1;
    }
    return 0;
}
