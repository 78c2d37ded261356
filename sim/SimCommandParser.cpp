#include "SimCommandParser.h"

#include "link/EmuProtocol.h"

int SimCommandParser::operandCount(std::uint8_t command) {
    using namespace EmuCommand;
    switch (command) {
    case kWriteImage:
        return kImageSize;
    case kSetParameter:
    case kMapPointE8:
    case kMapPointDE:
    case kMapPointD4:
    case kMapPointCA:
        return 2;
    default:
        return 0;
    }
}

std::optional<SimCommandParser::Command> SimCommandParser::feed(std::uint8_t byte, std::int64_t nowUs) {
    lastByteUs_ = nowUs;
    if (pending_.isEmpty()) {
        receivedUs_ = nowUs;
        needed_ = operandCount(byte);
    } else {
        --needed_;
    }
    pending_.append(static_cast<char>(byte));
    if (needed_ > 0)
        return std::nullopt;
    Command done{pending_, receivedUs_, true};
    pending_.clear();
    return done;
}

std::optional<SimCommandParser::Command> SimCommandParser::expire(std::int64_t nowUs) {
    const std::int64_t deadline = deadlineUs();
    if (deadline < 0 || nowUs < deadline)
        return std::nullopt;
    Command given{pending_, receivedUs_, false};
    pending_.clear();
    return given;
}

std::int64_t SimCommandParser::deadlineUs() const {
    if (pending_.isEmpty())
        return -1;
    const bool image = static_cast<std::uint8_t>(pending_[0]) == EmuCommand::kWriteImage;
    return lastByteUs_ + (image ? kImageQuietUs : kSetQuietUs);
}
