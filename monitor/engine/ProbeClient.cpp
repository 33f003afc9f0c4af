// Connection and agent conversation of one TCP test; see ProbeClient.h.
#include "engine/ProbeClient.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

#include "engine/HostResolver.h"

namespace tarnwatch {

namespace {

// The timer normally ends a wait; this margin lets our own clock end it
// anyway should the timer never be delivered, so no peer can hold us forever.
constexpr int kBackstopMs = 1000;

}  // namespace

StringId ConnectErrorStatus(int error) {
    switch (error) {
        case EINVAL:
        case EADDRNOTAVAIL:
        case EHOSTUNREACH:
            return IDS_UNRESOLVED;
        case ETIMEDOUT:
            return IDS_TIMEDOUT;
        default:
            return IDS_UNAVAILABLE;
    }
}

CClientThread::CClientThread(const Ports& ports)
    : timers_(ports.timers), pump_(ports.pump), clock_(ports.clock) {}

CClientThread::~CClientThread() {
    if (waiting_) KillTimer();
}

std::int64_t CClientThread::NowMs() const {
    return MonotonicNowMs(clock_);
}

std::int64_t CClientThread::Deadline(int extraMs) const {
    return NowMs() + timeoutMs_ + extraMs;
}

void CClientThread::ArmTimer() {
    if (timers_) timers_->SetTimer(kTimerNetworkTimeout, timeoutMs_);
}

void CClientThread::KillTimer() {
    if (timers_) timers_->KillTimer(kTimerNetworkTimeout);
}

int CClientThread::Connect(int port, const char* host, int timeoutSeconds) {
    CloseConnection();
    if (port > 0) socket_ = std::make_unique<CProbeSocket>(this, pump_, clock_);
    timeoutSeconds = std::clamp(timeoutSeconds, 0, INT_MAX / 1000);
    timeoutMs_ = timeoutSeconds * 1000;
    if (port <= 0) return 1;

    conversationState_ = kConversationConnecting;
    cancelled_ = false;
    StringId failure = IDS_UNAVAILABLE;
    bool connected = false;
    if (port <= 65535) {
        ArmTimer();
        waiting_ = true;
        const std::int64_t deadline = Deadline(kBackstopMs);
        HostResolver resolver;
        resolver.Start(host ? host : "", port);
        WaitResult r = WaitResult::kReady;
        if (!resolver.Done()) r = socket_->Wait(resolver.WaitFd(), POLLIN, deadline);
        if (r == WaitResult::kExpired) TimeoutSeen();
        if (r != WaitResult::kReady || !resolver.Done()) {
            // A connect cancelled by our own time-out is unavailable.
            failure = IDS_UNAVAILABLE;
        } else if (resolver.Result() != 0) {
            failure = IDS_UNRESOLVED;
        } else {
            // Every address of the name is tried in turn; the last failure
            // decides the status.
            for (const addrinfo* ai = resolver.Addresses(); ai; ai = ai->ai_next) {
                if (!socket_->Create(ai->ai_family)) {
                    failure = IDS_ERROR;
                    continue;
                }
                int err = socket_->Connect(ai->ai_addr, ai->ai_addrlen, deadline);
                if (err == 0) {
                    connected = true;
                    break;
                }
                socket_->Close();
                if (err == ECANCELED || err == ETIME) {
                    if (err == ETIME) TimeoutSeen();
                    failure = IDS_UNAVAILABLE;
                    break;
                }
                failure = ConnectErrorStatus(err);
            }
        }
        KillTimer();
        waiting_ = false;
    }
    if (!connected) {
        status_ = LoadString(failure);
        socket_.reset();
        return 0;
    }
    inArchive_ = outArchive_ = true;
    inBuffer_.clear();
    conversationState_ = kConversationConnected;
    return 1;
}

void CClientThread::OnTimeout() {
    if (!socket_ || !socket_->IsBlocking()) return;
    TimeoutSeen();
    socket_->CancelBlockingCall();
}

void CClientThread::TimeoutSeen() {
    replyDone_ = true;
    status_ = LoadString(IDS_TIMEDOUT);
    cancelled_ = true;
}

void CClientThread::SendRequest(const char* text) {
    if (!outArchive_ || !socket_) return;
    CMsgClient message;
    message.text = text ? text : "";
    replyDone_ = false;
    bool awaitReply = true;
    if (message.text == LoadString(IDS_PROTO_HELLO)) {
        conversationState_ = kConversationAwaitingAck;
    } else if (message.text == LoadString(IDS_PROTO_VORLAN)) {
        conversationState_ = kConversationAwaitingFigure;
    } else {
        conversationState_ = kConversationIdle;
        awaitReply = false;
    }
    ArchiveWriter archive;
    message.Serialize(archive);
    const std::string& bytes = archive.Bytes();
    if (socket_->Send(bytes.data(), bytes.size(), Deadline(0)) != 0) {
        outArchive_ = false;
        status_ = LoadString(IDS_UNAVAILABLE);
        replyDone_ = true;
        return;
    }
    if (!awaitReply) return;
    cancelled_ = false;
    ArmTimer();
    waiting_ = true;
    replyDeadline_ = Deadline(kBackstopMs);
    while (!PollReply()) {
    }
    replyDeadline_ = kNoDeadline;
    KillTimer();
    waiting_ = false;
}

bool CClientThread::PollReply() {
    if (replyDone_) return true;
    ReadReplies();
    return replyDone_;
}

void CClientThread::ReadReplies() {
    ReadMessage();
    while (socket_ && inArchive_ && !inBuffer_.empty()) ReadMessage();
}

void CClientThread::ReadMessage() {
    if (!socket_ || !inArchive_) {
        ReadFailed();
        return;
    }
    CMsgClient message;
    for (;;) {
        std::size_t consumed = 0;
        ArchiveStatus s = message.Serialize(inBuffer_.data(), inBuffer_.size(), consumed);
        if (s == ArchiveStatus::kOk) {
            inBuffer_.erase(inBuffer_.begin(), inBuffer_.begin() + consumed);
            break;
        }
        if (s == ArchiveStatus::kMalformed) {
            ReadFailed();
            return;
        }
        // A peer that keeps sending can keep every read from waiting, so the
        // deadline is checked here as well as inside the waits.
        if (NowMs() >= replyDeadline_) {
            TimeoutSeen();
            ReadFailed();
            return;
        }
        std::uint8_t chunk[4096];
        ssize_t n = socket_->Receive(chunk, sizeof chunk, replyDeadline_);
        if (n <= 0) {
            if (n < 0 && errno == ETIME) TimeoutSeen();
            ReadFailed();
            return;
        }
        inBuffer_.insert(inBuffer_.end(), chunk, chunk + n);
    }
    for (const auto& line : message.lines) HandleReply(line);
    if (!message.lines.empty()) {
        replyDone_ = true;
        if (conversationState_ != kConversationAcknowledged &&
            conversationState_ != kConversationFigureReceived) {
            status_ = LoadString(IDS_UNAVAILABLE);
        }
    }
    if (message.closeFlag != 0) CloseConnection();
}

void CClientThread::ReadFailed() {
    outArchive_ = false;
    status_ = LoadString(IDS_UNAVAILABLE);
    replyDone_ = true;
    CloseConnection();
}

void CClientThread::HandleReply(const std::string& text) {
    status_ = text;
    switch (conversationState_) {
        case kConversationAwaitingAck:
            if (text == LoadString(IDS_PROTO_CONNECTED)) {
                conversationState_ = kConversationAcknowledged;
            }
            break;
        case kConversationAwaitingFigure:
            if (text.size() >= 3 && text[text.size() - 3] == ':') {
                conversationState_ = kConversationFigureReceived;
            }
            break;
        default:
            conversationState_ = kConversationIdle;
            break;
    }
}

void CClientThread::CloseConnection() {
    inArchive_ = outArchive_ = false;
    inBuffer_.clear();
    socket_.reset();
}

void CClientThread::Disconnect() {
    if (socket_ && socket_->IsOpen() && inArchive_ && outArchive_) {
        CMsgClient bye;
        bye.closeFlag = 1;
        bye.text = LoadString(IDS_PROTO_BYE);
        ArchiveWriter archive;
        bye.Serialize(archive);
        // A failed goodbye changes nothing: the connection ends either way.
        socket_->Send(archive.Bytes().data(), archive.Bytes().size(), Deadline(0));
        conversationState_ = kConversationClosing;
    }
    inArchive_ = outArchive_ = false;
    inBuffer_.clear();
    if (socket_ && socket_->IsOpen()) {
        socket_->ShutdownSend();
        const std::int64_t deadline = Deadline(0);
        std::uint8_t discard[4096];
        while (socket_->Receive(discard, sizeof discard, deadline) > 0) {
        }
    }
    socket_.reset();
    conversationState_ = kConversationClosed;
}

}  // namespace tarnwatch
