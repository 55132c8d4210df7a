// python/src/Errors.cpp
#include "Errors.h"

#include "Trace.h"
#include "WhyNotRun.h"

void RaiseIfNotRun(const CommandReport& report)
{
    switch (report.outcome) {
    case Outcome::Ran:
        return;
    case Outcome::NoPicture:
        throw NoPicture(WhyNotRun(report));
    case Outcome::Refused:
        throw Refused(WhyNotRun(report));
    case Outcome::Cancelled:
        throw Cancelled(WhyNotRun(report));
    }
}

CommandWork& ThreadWork()
{
    static const TraceSink silent;
    thread_local CommandWork work(&silent);
    return work;
}
