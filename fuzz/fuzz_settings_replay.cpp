// Replays every file of a corpus folder through the settings-file invariant (the fuzz target's
// check) in an ordinary build. Usage: fuzz_settings_replay [folder]
#include "corpus_replay.h"
#include "settings_file_check.h"

int main(int argc, char** argv) {
    return replayCorpus(argc, argv, EMU_SETTINGS_CORPUS, checkSettingsFileRoundTrip, "loaded");
}
