#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>

// A plain POSIX client of the simulator's pty, independent of the program's own transport.
class PtyClient {
  public:
    explicit PtyClient(const QString& path);
    ~PtyClient();
    PtyClient(const PtyClient&) = delete;
    PtyClient& operator=(const PtyClient&) = delete;

    bool isOpen() const { return fd_ >= 0; }
    int fd() const { return fd_; }

    bool send(const QByteArray& bytes);

    // Reads until count bytes have come or timeoutMs has passed. The steady-clock microsecond
    // times of the first and last byte are stored when asked for.
    QByteArray read(int count, int timeoutMs, std::int64_t* firstUs = nullptr,
                    std::int64_t* lastUs = nullptr);

    // Everything that arrives within ms.
    QByteArray readFor(int ms);

    // Waits up to timeoutMs for the far end to go away. True when a read then returns 0 or fails
    // with EIO, as a pulled-out adapter does.
    bool waitForHangUp(int timeoutMs);

  private:
    int fd_ = -1;
};

std::int64_t steadyNowUs();
