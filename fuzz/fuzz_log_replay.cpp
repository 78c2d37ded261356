// Replays every file of a corpus folder through the data-log invariant (the fuzz target's
// check) in an ordinary build. Usage: fuzz_log_replay [folder]
#include "corpus_replay.h"
#include "log_file_check.h"

int main(int argc, char** argv) {
    return replayCorpus(argc, argv, EMU_LOG_CORPUS, checkLogFileRoundTrip, "read");
}
