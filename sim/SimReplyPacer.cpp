#include "SimReplyPacer.h"

#include <algorithm>

void SimReplyPacer::enqueue(const QByteArray& reply, std::int64_t nowNs, std::uint64_t tag, int tailBytes,
                            std::int64_t tailDelayNs) {
    const int n = static_cast<int>(reply.size());
    if (n == 0)
        return;
    const int tailStart = n - std::clamp(tailBytes, 0, n);
    const std::int64_t start = std::max(nowNs, lineFreeNs_);
    for (int i = 0; i < n; ++i) {
        std::int64_t at = start + (i + 1) * kByteNs;
        if (i >= tailStart)
            at += tailDelayNs;
        line_.push_back({at, static_cast<std::uint8_t>(reply[i]), i == n - 1, tag});
    }
    lineFreeNs_ = line_.back().atNs;
}

void SimReplyPacer::deliver(const Byte& b, Release& out) {
    out.bytes.append(static_cast<char>(b.value));
    if (b.last)
        out.finished.push_back(b.tag);
}

void SimReplyPacer::moveTo(std::deque<Byte>& from, Release& out) {
    for (const Byte& b : from)
        deliver(b, out);
    from.clear();
}

SimReplyPacer::Release SimReplyPacer::take(std::int64_t nowNs) {
    Release out;
    if (!usbLatency_) {
        moveTo(packet_, out);
        while (!line_.empty() && line_.front().atNs <= nowNs) {
            deliver(line_.front(), out);
            line_.pop_front();
        }
        return out;
    }
    while (!line_.empty() && line_.front().atNs <= nowNs) {
        const Byte b = line_.front();
        line_.pop_front();
        // The latency timer may have fired before this byte arrived.
        if (!packet_.empty() && b.atNs >= packetStartNs_ + kUsbLatencyNs)
            moveTo(packet_, out);
        if (packet_.empty())
            packetStartNs_ = b.atNs;
        packet_.push_back(b);
        if (static_cast<int>(packet_.size()) >= kUsbPacketBytes)
            moveTo(packet_, out);
    }
    if (!packet_.empty() && nowNs >= packetStartNs_ + kUsbLatencyNs)
        moveTo(packet_, out);
    return out;
}

std::int64_t SimReplyPacer::nextDueNs() const {
    std::int64_t due = -1;
    if (!line_.empty())
        due = line_.front().atNs;
    if (!packet_.empty()) {
        const std::int64_t packetDue = usbLatency_ ? packetStartNs_ + kUsbLatencyNs : 0;
        due = due < 0 ? packetDue : std::min(due, packetDue);
    }
    return due;
}

void SimReplyPacer::clear() {
    line_.clear();
    packet_.clear();
    lineFreeNs_ = 0;
}
