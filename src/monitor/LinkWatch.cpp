#include "monitor/LinkWatch.h"

LinkWatch::Verdict LinkWatch::take(bool emptyReply, bool pendingChanges) {
    ++polls_;
    if (!emptyReply) {
        emptyInRow_ = 0;
        return Verdict::Show;
    }
    ++missed_;
    ++emptyInRow_;
    if (emptyInRow_ < kEmptyRepliesForLoss)
        return Verdict::Hold;
    if (pendingChanges) {
        emptyInRow_ = 0;
        return Verdict::Lost;
    }
    return Verdict::Show;
}
