#pragma once

#include <QByteArray>

#include <cstdint>
#include <optional>

// Splits the byte stream from the host into commands: a command byte and the operands it takes
// (two for a set message, the 482-byte image after 0xF3, none for the queries). Operand bytes
// are data whatever their value. A command whose operands stop coming is given up after a quiet
// spell and reported as it stands (short). Times are steady-clock microseconds.
class SimCommandParser {
  public:
    struct Command {
        QByteArray bytes;        // the command byte and its operands
        std::int64_t receivedUs; // when the command byte came in
        bool complete;           // false: operands stopped short
    };

    static constexpr std::int64_t kImageQuietUs = 3'000'000;
    static constexpr std::int64_t kSetQuietUs = 1'000'000;

    // Operand bytes that follow a command byte.
    static int operandCount(std::uint8_t command);

    // Feeds one byte; returns a command when this byte completes one.
    std::optional<Command> feed(std::uint8_t byte, std::int64_t nowUs);

    // Gives up a command whose operands have stopped coming by nowUs.
    std::optional<Command> expire(std::int64_t nowUs);

    // When the command being collected times out (-1: none pending).
    std::int64_t deadlineUs() const;

    void reset() { pending_.clear(); }

  private:
    QByteArray pending_; // command byte and operands so far
    int needed_ = 0;     // operands still to come
    std::int64_t receivedUs_ = 0;
    std::int64_t lastByteUs_ = 0;
};
