// libFuzzer target: the data-log reader and the write-back invariant.
#include "log_file_check.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Not copied and not terminated, so a read past the end shows under the address sanitizer.
    const QByteArray input =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    checkLogFileRoundTrip(input);
    return 0;
}
