// The probe client's stream socket: a non-blocking socket whose waits look
// blocking to the caller. A wait polls in short slices and lets the engine's
// message pump run between them; that is where the network time-out timer
// fires, and the client's time-out handler then cancels the wait.
#pragma once

#include <sys/socket.h>
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <limits>

#include "engine/Ports.h"

namespace tarnwatch {

class CClientThread;

inline constexpr std::int64_t kNoDeadline = std::numeric_limits<std::int64_t>::max();
// How long one poll slice lasts before the pump runs again.
inline constexpr int kPollSliceMs = 50;

// The clock's monotonic milliseconds, or the steady clock's without one.
std::int64_t MonotonicNowMs(const Clock* clock);

enum class WaitResult {
    kReady,      // the descriptor is ready
    kCancelled,  // CancelBlockingCall() ended the wait
    kExpired,    // the deadline passed
};

class CProbeSocket {
public:
    // `pump` and `clock` may be null: then nothing is pumped and the steady
    // clock measures deadlines.
    CProbeSocket(CClientThread* client, MessagePump* pump, const Clock* clock);
    ~CProbeSocket();
    CProbeSocket(const CProbeSocket&) = delete;
    CProbeSocket& operator=(const CProbeSocket&) = delete;

    // A non-blocking, close-on-exec stream socket. False with errno set when
    // the system refuses one.
    bool Create(int family);
    bool IsOpen() const { return fd_ >= 0; }

    // 0 when connected, else the error: ECANCELED for a cancelled wait,
    // ETIME when the deadline passed, or the connect's own errno.
    int Connect(const sockaddr* address, socklen_t length, std::int64_t deadlineMs);
    // 0 when every byte went out, else the error as for Connect.
    int Send(const void* data, std::size_t size, std::int64_t deadlineMs);
    // Bytes read (> 0), 0 when the peer closed its side, -1 on failure with
    // errno set as for Connect.
    ssize_t Receive(void* buffer, std::size_t size, std::int64_t deadlineMs);
    void ShutdownSend();
    void Close();

    // Waits for `events` on any descriptor (the socket's, or a resolver's).
    WaitResult Wait(int fd, short events, std::int64_t deadlineMs);
    bool IsBlocking() const { return blocking_; }
    // Ends the wait in progress; outside a wait it does nothing.
    void CancelBlockingCall();
    // Runs between poll slices.
    void OnMessagePending();

    std::int64_t NowMs() const;
    CClientThread* Client() const { return client_; }

private:
    CClientThread* client_;
    MessagePump* pump_;
    const Clock* clock_;
    int fd_ = -1;
    bool blocking_ = false;
    bool cancelRequested_ = false;
};

}  // namespace tarnwatch
