#include "monitor/LinkWatch.h"

LinkWatch::Verdict LinkWatch::take(bool missedReply, bool pendingChanges) {
    ++polls_;
    if (!missedReply) {
        missedInRow_ = 0;
        if (!silent_)
            return Verdict::Show;
        silent_ = false;
        return Verdict::Resumed;
    }
    ++missed_;
    ++missedInRow_;
    if (missedInRow_ < kMissedRepliesForSilence)
        return Verdict::Hold;
    // A change made while the unit is silent cannot reach it: that is a lost link too.
    if (pendingChanges) {
        reset();
        return Verdict::Lost;
    }
    if (silent_)
        return Verdict::Hold;
    silent_ = true;
    return Verdict::Stopped;
}
