// The probe client of one TCP test: it makes the connection within the
// entry's time-out and holds the agent conversation over it ("HELLO" ->
// "CONNECTED", "VORLAN" -> an availability figure such as "12:34", then
// "BYE"). Everything runs on the caller's thread; waits pump the engine's
// message pump, and the owner of the timer sink routes the expiry of the
// network time-out timer to OnTimeout() of the client in use.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/ArchiveCodec.h"
#include "engine/Ports.h"
#include "engine/ProbeSocket.h"
#include "res/StringTable.h"

namespace tarnwatch {

// How far the conversation has come.
enum ConversationState : int {
    kConversationIdle = 0,
    kConversationConnecting = 1,
    kConversationConnected = 2,
    kConversationAwaitingAck = 4,
    kConversationAcknowledged = 8,
    kConversationAwaitingFigure = 16,
    kConversationFigureReceived = 32,
    kConversationClosing = 64,
    kConversationClosed = 128,
};

// The status text for a failed connect with this errno: unresolved for an
// address that cannot be reached at all, timed out for the kernel's own
// connect time-out, unavailable for everything else.
StringId ConnectErrorStatus(int error);

class CClientThread {
public:
    // Uses the timer port (timer 138), the pump and the clock of `ports`;
    // each may be null, and the pointers must outlive the client.
    explicit CClientThread(const Ports& ports);
    ~CClientThread();
    CClientThread(const CClientThread&) = delete;
    CClientThread& operator=(const CClientThread&) = delete;

    // 1 when connected, or at once without any traffic when port <= 0;
    // 0 on failure with status() set.
    int Connect(int port, const char* host, int timeoutSeconds);
    // Sends the request; for "HELLO" and "VORLAN" waits for the reply, at
    // most the time-out. Without a connection nothing is sent.
    void SendRequest(const char* text);
    // Says "BYE" if it can, then shuts down sending, drains what the peer
    // still sends (until it closes, at most the time-out) and closes.
    void Disconnect();
    // The network time-out has run out: ends the wait in progress, if any.
    void OnTimeout();

    const std::string& status() const { return status_; }
    bool cancelled() const { return cancelled_; }
    int conversationState() const { return conversationState_; }
    bool waiting() const { return waiting_; }
    bool IsConnected() const { return socket_ != nullptr && socket_->IsOpen(); }
    int timeoutMs() const { return timeoutMs_; }

    // The steps of a reply wait.
    bool PollReply();
    void ReadReplies();
    void ReadMessage();
    void HandleReply(const std::string& text);

private:
    void ArmTimer();
    void KillTimer();
    void TimeoutSeen();
    void ReadFailed();
    void CloseConnection();
    std::int64_t NowMs() const;
    std::int64_t Deadline(int extraMs) const;

    TimerPort* timers_;
    MessagePump* pump_;
    const Clock* clock_;

    std::unique_ptr<CProbeSocket> socket_;
    // The stream halves: `inBuffer_` holds received bytes not yet taken by
    // a message; a half that failed is dropped.
    bool inArchive_ = false;
    bool outArchive_ = false;
    std::vector<std::uint8_t> inBuffer_;
    std::int64_t replyDeadline_ = kNoDeadline;

    bool replyDone_ = false;
    std::string status_;
    int conversationState_ = kConversationIdle;
    int timeoutMs_ = 0;
    bool waiting_ = false;
    bool cancelled_ = false;
};

}  // namespace tarnwatch
