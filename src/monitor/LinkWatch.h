#pragma once

// The lost-link rule of the live poll. A USB adapter without its low-latency setting holds a short
// reply up to 16 ms, so now and then a frame misses the poll's 20 ms pause: one or two empty
// replies in a row are late frames, shown as the last values and counted. The third empty reply
// in a row (about 120 ms of silence) is a lost link when the PC holds changes the unit has not
// stored; without such changes it is shown like any frame and the poll goes on.
class LinkWatch {
  public:
    static constexpr int kEmptyRepliesForLoss = 3;

    enum class Verdict {
        Show, // a frame to decode and show (also an empty one after the grace of late frames)
        Hold, // a late frame: keep showing the last values
        Lost, // the unit is gone while the PC holds unsent changes
    };

    Verdict take(bool emptyReply, bool pendingChanges);
    void reset() { emptyInRow_ = 0; }

    int missedFrames() const { return missed_; }
    int polls() const { return polls_; }
    int emptyInRow() const { return emptyInRow_; }

  private:
    int emptyInRow_ = 0;
    int missed_ = 0;
    int polls_ = 0;
};
