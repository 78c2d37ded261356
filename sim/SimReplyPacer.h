#pragma once

#include <QByteArray>

#include <cstdint>
#include <deque>
#include <vector>

// Schedules reply bytes as a 19200-baud 8N1 line delivers them: one byte every 10 bit times, each
// reply after the previous one has left the line. With the USB model on, bytes collect in an
// adapter packet that is released when it holds 62 bytes or 16 ms after its first byte came in,
// like the latency timer of the common FTDI chips. Times are steady-clock nanoseconds.
class SimReplyPacer {
  public:
    static constexpr std::int64_t kByteNs = 520'833; // 10 bits at 19200 baud
    static constexpr std::int64_t kUsbLatencyNs = 16'000'000;
    static constexpr int kUsbPacketBytes = 62;

    struct Release {
        QByteArray bytes;
        std::vector<std::uint64_t> finished; // tags of replies whose last byte is in bytes
    };

    // Queues a reply. Its last tailBytes come tailDelayNs later than the line would bring them.
    void enqueue(const QByteArray& reply, std::int64_t nowNs, std::uint64_t tag, int tailBytes = 0,
                 std::int64_t tailDelayNs = 0);

    // Turning the model off lets a held packet go at the next take().
    void setUsbLatency(bool on) { usbLatency_ = on; }
    bool usbLatency() const { return usbLatency_; }

    // Everything due by nowNs, in order.
    Release take(std::int64_t nowNs);

    // When take() next has something to give (-1: nothing pending).
    std::int64_t nextDueNs() const;
    bool idle() const { return line_.empty() && packet_.empty(); }
    void clear();

  private:
    struct Byte {
        std::int64_t atNs; // when the byte has fully arrived from the line
        std::uint8_t value;
        bool last; // last byte of its reply
        std::uint64_t tag;
    };

    static void deliver(const Byte& b, Release& out);
    static void moveTo(std::deque<Byte>& from, Release& out);

    std::deque<Byte> line_;   // on the line, not yet arrived
    std::deque<Byte> packet_; // held in the adapter
    std::int64_t packetStartNs_ = 0;
    std::int64_t lineFreeNs_ = 0;
    bool usbLatency_ = false;
};
