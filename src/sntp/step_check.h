// The second opinion a large correction needs: the answers of the servers asked for one step and
// the rule that decides between setting the clock, asking the next server and refusing.
#pragma once
#include <winsock2.h>
#include <stdint.h>
#include "sntp/server_address.h"

enum { StepServersMax = 4, StepNameSize = 64 };
enum { StepSet = 0, StepAskNext = 1, StepRefuse = 2 };

struct StepAnswer {
    int64_t offset;                 // server minus local time, 100 ns units
    int answered;                   // 0: no usable answer (a failure, or an address already asked)
    struct sockaddr_storage address;
    char server[StepNameSize];      // for the event log; long names cut whole-character
};

// The rule. answers[0] is the first server's; confirmStep is in seconds, 0 off. StepSet with
// *from the answer to set from (0 when the step is small enough, else the later of the first two
// answers within a second of each other), StepAskNext, or StepRefuse once min(4, servers in the
// list) have been asked without two agreeing.
int StepAgreement(const StepAnswer *answers, int count, int serversInList, int32_t confirmStep,
                  int *from);

// The step under way. StartStepCheck begins afresh for a query that is not itself a second
// opinion (a test passes 1: nobody else is asked).
// 1 when a step of offset (100 ns units) is larger than ConfirmStep and needs a second opinion.
int StepNeedsSecondOpinion(int64_t offset);
void StartStepCheck(int serversInList);
// Adds a reply's offset and returns the verdict; a first answer below the limit is not kept.
int WeighStep(int64_t offset, const struct sockaddr_storage *address, const char *server);
// The server asked for a second opinion gave no answer: the verdict without it.
int StepCheckFailed(const char *server);
int StepCheckPending(void);         // answers are kept and the last verdict was StepAskNext
int StepServersAsked(void);
const StepAnswer *StepAnswers(void);
