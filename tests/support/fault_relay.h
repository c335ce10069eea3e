#pragma once
// A loopback relay in front of a real mail server that injects the faults of
// real networks and providers: it cuts sessions at chosen byte offsets (every
// so many bytes of one direction, counted over all sessions) or at random
// ones (seeded), answers chosen SMTP commands in the server's place
// (421/451/452, a daily-quota 550), and can lose the server's answer to the
// end of a mail's data, the way a connection that dies right after the final
// dot leaves the client not knowing whether the server kept the mail, or
// stall a session: from a chosen command on, nothing passes either way and
// nothing is closed, as on a line that went dead without a word, until the
// client gives up on its time-out.
// Everything else passes byte for byte.
#include <atomic>
#include <map>
#include <mutex>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "tests/support/loopback_relay.h"

namespace parvola::test {

class FaultRelay {
  public:
    using Side = LoopbackRelay::Side;

    // The reply `reply` (CRLF added) in place of the server's to the
    // `occurrence`-th client command (1-based, over all sessions) that
    // starts with `command` ("MAIL FROM", "RCPT TO", "DATA", "RETR").
    struct Answer {
        std::string command;
        int occurrence = 1;
        std::string reply;
    };
    struct Plan {
        Side cutSide = Side::FromClient;
        long long cutEvery = 0;  // 0: no cuts at fixed offsets
        // Random cuts at a random offset inside a chunk of the cut side: each
        // chunk with this chance, and besides one cut per this many bytes on
        // average (0: none), drawn from `seed`.
        double randomCutChance = 0;
        long long randomCutBytes = 0;
        unsigned seed = 0;
        std::vector<Answer> answers;
        // The `n`-th mail whose data ends (over all sessions; 0: none) is
        // passed on whole, and the session is cut in place of the answer.
        int loseAnswerToData = 0;
        // The session that sends the `stallOccurrence`-th command starting
        // with `stallCommand` (over all sessions; 0: none) stalls there.
        std::string stallCommand;
        int stallOccurrence = 0;
    };

    FaultRelay(const std::string& listenHost, const std::string& targetHost, int targetPort,
               Plan plan)
        : plan_(std::move(plan)),
          counts_(plan_.answers.size(), 0),
          random_(plan_.seed),
          relay_(listenHost, targetHost, targetPort,
                 [this](LoopbackRelay::Session& s, Side from, std::string_view chunk) {
                     pass(s, from, chunk);
                 }) {}

    int port() const { return relay_.port(); }
    int cuts() const { return cuts_.load(); }
    int answered() const { return answered_.load(); }
    int lostAnswers() const { return lostAnswers_.load(); }
    int stalls() const { return stalls_.load(); }
    // Stops injecting faults: what follows passes untouched.
    void heal() { healed_ = true; }

  private:
    void pass(LoopbackRelay::Session& session, Side from, std::string_view chunk) {
        if (!healed_ && plan_.loseAnswerToData > 0 && losesAnswer(session, from, chunk))
            return;
        if (plan_.stallOccurrence > 0 && stalled(session, from, chunk))
            return;
        if (!healed_ && from == Side::FromClient && answerInstead(session, chunk))
            return;
        size_t cutAt = chunk.size() + 1;  // none
        if (!healed_ && from == plan_.cutSide)
            cutAt = cutOffset(chunk.size());
        if (cutAt <= chunk.size()) {
            forward(session, from, chunk.substr(0, cutAt));
            ++cuts_;
            session.cut();
            return;
        }
        forward(session, from, chunk);
    }

    static void forward(LoopbackRelay::Session& session, Side from, std::string_view bytes) {
        if (bytes.empty())
            return;
        if (from == Side::FromClient)
            session.toServer(bytes);
        else
            session.toClient(bytes);
    }

    // Watches the client's text for the end of a mail's data; the server's
    // next bytes on the session of the chosen one are dropped and the
    // session cut. True when the chunk was dealt with here.
    bool losesAnswer(LoopbackRelay::Session& session, Side from, std::string_view chunk) {
        std::lock_guard<std::mutex> guard(mutex_);
        if (from == Side::FromServer) {
            if (session.number() != losingSession_)
                return false;
            losingSession_ = 0;
            ++lostAnswers_;
            session.cut();
            return true;
        }
        std::string& tail = tails_[session.number()];
        tail += chunk.substr(chunk.size() > 5 ? chunk.size() - 5 : 0);
        if (tail.size() > 5)
            tail.erase(0, tail.size() - 5);
        if (tail == "\r\n.\r\n" && ++dataEnds_ == plan_.loseAnswerToData)
            losingSession_ = session.number();
        return false;
    }

    // True when the session is stalled (from this chunk on): the chunk is
    // swallowed and the session left open.
    bool stalled(LoopbackRelay::Session& session, Side from, std::string_view chunk) {
        std::lock_guard<std::mutex> guard(mutex_);
        if (stalled_.count(session.number()) != 0)
            return true;
        if (healed_ || from != Side::FromClient ||
            chunk.substr(0, plan_.stallCommand.size()) != plan_.stallCommand ||
            ++stallCommands_ != plan_.stallOccurrence)
            return false;
        stalled_.insert(session.number());
        ++stalls_;
        return true;
    }

    // True when the chunk is a command the plan answers itself this time.
    bool answerInstead(LoopbackRelay::Session& session, std::string_view chunk) {
        std::string reply;
        {
            std::lock_guard<std::mutex> guard(mutex_);
            for (size_t i = 0; i < plan_.answers.size(); ++i) {
                const Answer& answer = plan_.answers[i];
                if (chunk.substr(0, answer.command.size()) != answer.command)
                    continue;
                if (++counts_[i] == answer.occurrence)
                    reply = answer.reply + "\r\n";
            }
        }
        if (reply.empty())
            return false;
        ++answered_;
        session.toClient(reply);
        return true;
    }

    // Where in a chunk of `size` bytes the session is cut; above `size`: not.
    size_t cutOffset(size_t size) {
        std::lock_guard<std::mutex> guard(mutex_);
        const long long before = counted_;
        counted_ += static_cast<long long>(size);
        if (plan_.cutEvery > 0) {
            const long long mark = (before / plan_.cutEvery + 1) * plan_.cutEvery;
            if (mark <= counted_)
                return static_cast<size_t>(mark - before);
        }
        double chance = plan_.randomCutChance;
        if (plan_.randomCutBytes > 0)
            chance += static_cast<double>(size) / static_cast<double>(plan_.randomCutBytes);
        if (chance > 0 && std::uniform_real_distribution<double>(0, 1)(random_) < chance)
            return std::uniform_int_distribution<size_t>(0, size)(random_);
        return size + 1;
    }

    Plan plan_;
    std::mutex mutex_;
    std::vector<int> counts_;
    long long counted_ = 0;
    std::mt19937 random_;
    std::atomic<int> cuts_{0};
    std::atomic<int> answered_{0};
    std::atomic<int> lostAnswers_{0};
    std::map<int, std::string> tails_;  // the last bytes each session's client sent
    int dataEnds_ = 0;
    std::set<int> stalled_;  // sessions that pass nothing any more
    int stallCommands_ = 0;
    std::atomic<int> stalls_{0};
    int losingSession_ = 0;
    std::atomic<bool> healed_{false};
    LoopbackRelay relay_;  // last: its sessions end before the members above go
};

}  // namespace parvola::test
