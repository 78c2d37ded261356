#include "log_file_check.h"

#include "monitor/DataLogFile.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "data log round trip: %s\n", what);
    std::abort();
}

bool same(const DataLog& a, const DataLog& b) {
    if (a.size() != b.size() || a.markers().size() != b.markers().size() || a.gaps() != b.gaps())
        return false;
    for (std::int64_t i = 0; i < a.size(); ++i) {
        if (a.timeMs(i) != b.timeMs(i) || a.sampleNumber(i) != b.sampleNumber(i))
            return false;
        for (int c = 0; c < LogChannels::kCount; ++c) {
            const float x = a.value(i, c);
            const float y = b.value(i, c);
            if (!(x == y || (std::isnan(x) && std::isnan(y))))
                return false;
        }
    }
    for (size_t m = 0; m < a.markers().size(); ++m)
        if (a.markers()[m].number != b.markers()[m].number || a.markers()[m].row != b.markers()[m].row ||
            a.markers()[m].note != b.markers()[m].note)
            return false;
    return true;
}

} // namespace

bool checkLogFileRoundTrip(const QByteArray& input) {
    const DataLogFile::ReadResult first = DataLogFile::read(input);
    if (!first.ok) {
        if (first.error.isEmpty() || !first.log.empty())
            fail("a refused file gave rows or no reason");
        return false;
    }
    if (first.warning.isEmpty() != (first.badLine == 0))
        fail("a bad line without a warning, or a warning without its line");
    if (first.badLine == 1 || (first.badLine != 0 && first.badLine < first.log.size() + 2))
        fail("the bad line is not the one after the rows kept");
    for (std::int64_t i = 1; i < first.log.size(); ++i)
        if (first.log.timeMs(i) < first.log.timeMs(i - 1))
            fail("the time goes back in a log that was read");

    const QByteArray written = DataLogFile::text(first.format, first.log);
    const DataLogFile::ReadResult second = DataLogFile::read(written);
    if (!second.ok || !second.warning.isEmpty())
        fail(qPrintable("the written log is not read back whole: " + second.error + second.warning));
    if (second.format != first.format)
        fail("the format changed");
    if (!same(first.log, second.log))
        fail("the log changed on its way through the file");
    if (DataLogFile::text(second.format, second.log) != written)
        fail("writing the same log twice gave different bytes");
    return true;
}
