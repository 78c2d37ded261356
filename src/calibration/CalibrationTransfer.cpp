#include "calibration/CalibrationTransfer.h"

#include "link/EmuProtocol.h"

#include <algorithm>

namespace CalibrationTransfer {

int storeReceivedImage(CalibrationData& data, const QByteArray& reply) {
    data.ReceivedImage.fill(kReplyFillByte);
    return copyReply(reply, data.ReceivedImage.data(), kImageSize, kImageReplySize);
}

int storeSetupBlock(CalibrationData& data, const QByteArray& reply) {
    data.SetupBlock.fill(kReplyFillByte);
    return copyReply(reply, data.SetupBlock.data(), kSetupBlockSize, kSetupBlockSize);
}

std::optional<std::array<std::uint8_t, kImageSize>> imageFromReply(const QByteArray& reply,
                                                                   QString* errorText) {
    if (reply.size() < kImageReplySize) {
        if (errorText)
            *errorText = QStringLiteral("The EMU sent %1 of %2 bytes of its data table; nothing was saved.")
                             .arg(reply.size())
                             .arg(kImageReplySize);
        return std::nullopt;
    }
    std::array<std::uint8_t, kImageSize> image{};
    std::copy_n(reinterpret_cast<const std::uint8_t*>(reply.constData()), kImageReplySize, image.begin());
    return image;
}

std::array<std::uint8_t, kImageSize> imageFromPc(CalibrationData& data) {
    buildImage(data);
    return data.OutgoingImage;
}

int readBackDifferences(const CalibrationData& data, const QByteArray& readBack) {
    const auto differsAt = [&](int offset) {
        if (offset >= readBack.size())
            return true;
        const auto wire = static_cast<std::uint8_t>(readBack.at(offset));
        return wire != wireFromPlain(data.PlainImage[static_cast<size_t>(offset)]);
    };
    int differing = 0;
    for (int k = 0; k < kSetupBlockSize; ++k)
        differing += differsAt(k) ? 1 : 0;
    for (const MapInfo& info : mapTable()) {
        if (!data.hasFamily(info.family))
            continue;
        for (int i = 0; i < info.points; ++i)
            differing += differsAt(info.imageOffset + i) ? 1 : 0;
    }
    return differing;
}

void loadFileContents(CalibrationData& data, const SettingsFileContents& contents) {
    data.ReceivedImage = contents.image;
}

} // namespace CalibrationTransfer
