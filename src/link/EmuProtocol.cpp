#include "link/EmuProtocol.h"

#include <algorithm>
#include <cstring>

namespace {

// Time for n bytes at 19200 baud 8N1 (10 bits a byte), rounded up.
int wireTimeMs(int bytes) {
    return (bytes * 10 * 1000 + 19199) / 19200;
}

} // namespace

int copyReply(const QByteArray& reply, std::uint8_t* buffer, int bufferSize, int copyLength) {
    const int n = std::min({static_cast<int>(reply.size()), copyLength, bufferSize});
    if (n > 0)
        std::memcpy(buffer, reply.constData(), static_cast<size_t>(n));
    if (n < bufferSize)
        buffer[n] = 0;
    return n;
}

int extraWaitFor(std::uint8_t command) {
    switch (command) {
    case EmuCommand::kRealTimeFrame:
        return 20;
    case EmuCommand::kIdentify:
        return 30;
    case EmuCommand::kReadImage:
        // A reply that started late still needs its full time on the wire.
        return wireTimeMs(kImageReplySize) + 50;
    default:
        return 20;
    }
}
