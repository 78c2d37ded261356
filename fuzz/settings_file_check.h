#pragma once

#include <QByteArray>

// The settings-file invariant shared by the fuzz target and the corpus replay: when a text loads,
// writing it back must give a text that loads to the same identity, vehicle texts and image
// (position 481, always written as 0, excepted), and writing that again must give the same bytes.
// A violation prints what differs and aborts, so the fuzzer records the input. Returns whether the
// input loaded.
bool checkSettingsFileRoundTrip(const QByteArray& input);
