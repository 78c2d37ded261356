#pragma once

#include <QByteArray>

// The data-log reader's invariant: whatever a file holds, reading it never fails hard; a file it
// accepts (whole or up to a bad line) is written back in its format and read again to the same log,
// and that text is what writing the same log gives. Aborts on a breach; true when the input was a log.
bool checkLogFileRoundTrip(const QByteArray& input);
