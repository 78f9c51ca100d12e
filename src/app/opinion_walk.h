// The second opinion's walk over the server list: which server a large step asks next, each at
// all its addresses, until the step check has its verdict.
#pragma once

// The list the walk goes over and the way to ask one of its servers, filled in by the state
// machine, so the walk never calls back into it by name.
struct OpinionListRecord {
    int (*count)(void);                     // entries of the server list
    int (*selectedIndex)(void);             // the selected entry, -1 when none is
    const char *(*nameAt)(int index);       // an entry's name, valid until the next call
    int (*ask)(const char *server);         // starts the query: 0 under way, -1 ended at once
};

// After the answer (or the failure, `failed` 1) of `lastAsked`: asks the next server of the list,
// one a kiss refused or one that ends at once counting as failed. 1 when a query is under way; 0
// when the step is refused: the exchange then counts as failed. Only a refusal ends here; an
// agreement is set by the reply that brought it.
int AskNextOpinion(const OpinionListRecord *list, const char *lastAsked, int failed);
// A server asked for a second opinion that failed on one of its addresses (a time-out, a failed
// send) is asked at its next address before it counts as failed. 1 when a query is under way.
int AskSameOpinionNextAddress(const OpinionListRecord *list, const char *lastAsked);
