#ifndef TQ7310_DRIVER_ECHOSTATE_H
#define TQ7310_DRIVER_ECHOSTATE_H

#include <cstdint>

namespace modbusrtu {

// Whether the adapter on a port hands back the requests it sends. Nothing
// tells before the first echo: the echo of a single write is, byte for
// byte, its success reply. Learned from a read (or a write answered behind
// its echo), forgotten at close or after kMissesToForget replies in a row
// came without one: one echo lost on a noisy line does not make the
// adapter stop echoing.
class EchoState {
  public:
    static constexpr int kMissesToForget = 3;

    bool learned() const { return state_ == State::Learned; }
    bool unknown() const { return state_ == State::Unknown; }

    // The adapter handed a request back.
    void learn() {
        state_ = State::Learned;
        misses_ = 0;
    }
    // A read was answered with no echo before it.
    void absent() { state_ = State::Absent; }
    // The learned echo came again.
    void heard() { misses_ = 0; }
    // The learned echo did not come, but an answer did.
    void missed() {
        if (++misses_ >= kMissesToForget) {
            state_ = State::Absent;
        }
    }
    // Another adapter may be on the line next time.
    void forget() {
        state_ = State::Unknown;
        misses_ = 0;
    }

    // The transaction that just found the echo, while nothing has come
    // since: its answer is still arriving. 0 for none.
    std::uint32_t answerBehind() const { return answerBehind_; }
    void transactionEnded(bool foundEcho, std::uint32_t sequence) {
        answerBehind_ = foundEcho ? sequence : 0;
    }

  private:
    enum class State { Unknown, Learned, Absent };
    State state_ = State::Unknown;
    int misses_ = 0;
    std::uint32_t answerBehind_ = 0;
};

}  // namespace modbusrtu

#endif
