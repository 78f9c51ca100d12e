// The second opinion a large correction needs. One misconfigured or stale server must not move
// the clock by years: a step above the limit is made only when two servers agree within a second.
#include "sntp/step_check.h"
#include "base/wide_text.h"
#include "base/settings.h"

static const int64_t AgreementLimit = 10000000;    // 1 s in 100 ns units

static StepAnswer Answers[StepServersMax];
static int Count;
static int ListSize;
static int Pending;

static int64_t Magnitude(int64_t value)
{
    return value < 0 ? -value : value;
}

// A step larger than confirmStep seconds needs a second opinion; 0 turns the check off.
static int AboveConfirmStep(int64_t offset, int32_t confirmStep)
{
    return confirmStep > 0 && Magnitude(offset) > (int64_t)confirmStep * 10000000;
}

int StepNeedsSecondOpinion(int64_t offset)
{
    return AboveConfirmStep(offset, Settings.ConfirmStep);
}

int StepAgreement(const StepAnswer *answers, int count, int serversInList, int32_t confirmStep,
                  int *from)
{
    *from = 0;
    if (count < 1)
        return StepAskNext;
    if (confirmStep <= 0 ||
        (answers[0].answered && !AboveConfirmStep(answers[0].offset, confirmStep)))
        return StepSet;
    for (int later = 1; later < count; ++later) {
        for (int earlier = 0; earlier < later; ++earlier) {
            if (answers[earlier].answered && answers[later].answered &&
                Magnitude(answers[later].offset - answers[earlier].offset) <= AgreementLimit) {
                *from = later;
                return StepSet;
            }
        }
    }
    int limit = serversInList < StepServersMax ? serversInList : StepServersMax;
    return count >= limit ? StepRefuse : StepAskNext;
}

void StartStepCheck(int serversInList)
{
    Count = 0;
    Pending = 0;
    ListSize = serversInList;
}

static int Decide(void)
{
    int from;
    int verdict = StepAgreement(Answers, Count, ListSize, Settings.ConfirmStep, &from);
    Pending = verdict == StepAskNext;
    return verdict;
}

int WeighStep(int64_t offset, const struct sockaddr_storage *address, const char *server)
{
    if (Count >= StepServersMax)
        return StepRefuse;
    StepAnswer *answer = &Answers[Count];
    answer->offset = offset;
    answer->address = *address;
    answer->answered = 1;
    CopyWholeCharacters(answer->server, sizeof answer->server, server != NULL ? server : "");
    // Another server must mean another host: a second name for the same address is no opinion.
    for (int i = 0; i < Count; ++i) {
        if (SameAddress(&Answers[i].address, address))
            answer->answered = 0;
    }
    Count += 1;
    int verdict = Decide();
    if (verdict == StepSet && Count == 1)
        Count = 0;      // a small step: nothing was checked
    return verdict;
}

int StepCheckFailed(const char *server)
{
    if (Count < 1 || Count >= StepServersMax)
        return StepRefuse;
    StepAnswer *answer = &Answers[Count];
    answer->offset = 0;
    answer->answered = 0;
    answer->address = sockaddr_storage();
    CopyWholeCharacters(answer->server, sizeof answer->server, server != NULL ? server : "");
    Count += 1;
    return Decide();
}

int StepCheckPending(void)
{
    return Pending;
}

int StepServersAsked(void)
{
    return Count;
}

const StepAnswer *StepAnswers(void)
{
    return Answers;
}
