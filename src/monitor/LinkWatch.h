#pragma once

// The missed-frame rule of the live poll. A USB adapter without its low-latency setting holds a
// short reply up to 16 ms, so now and then a frame misses the poll's 20 ms pause: one or two missed
// replies (empty or short) in a row are late frames, held as the last values and counted. The
// third in a row (about 120 ms of silence) means the unit has stopped answering: a lost link when
// the PC holds changes the unit has not stored, otherwise "no data" until a whole frame comes back.
class LinkWatch {
  public:
    static constexpr int kMissedRepliesForSilence = 3;

    enum class Verdict {
        Show,    // a whole frame to decode and show
        Resumed, // a whole frame, the first after the unit went silent
        Hold,    // a missed reply: keep the last values (late, or silent already reported)
        Stopped, // the unit has gone silent and nothing is pending: the displays say no data comes
        Lost,    // the unit is gone while the PC holds unsent changes
    };

    Verdict take(bool missedReply, bool pendingChanges);
    void reset() {
        missedInRow_ = 0;
        silent_ = false;
    }

    // Between Stopped and the next whole frame.
    bool silent() const { return silent_; }
    int missedFrames() const { return missed_; }
    int polls() const { return polls_; }
    int missedInRow() const { return missedInRow_; }

  private:
    int missedInRow_ = 0;
    int missed_ = 0;
    int polls_ = 0;
    bool silent_ = false;
};
