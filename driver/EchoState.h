#ifndef TQ7310_DRIVER_ECHOSTATE_H
#define TQ7310_DRIVER_ECHOSTATE_H

#include <cstdint>

#include "ModbusRTU.h"

namespace modbusrtu {

// Whether the adapter on a port hands back the requests it sends. Nothing
// tells before the first echo: the echo of a single write is, byte for
// byte, its success reply. Learned from a read (or a write answered behind
// its echo); forgotten at close.
//
// "No echo" is learned only while no echo has come since the port opened,
// and only from kAnswersToTrustAbsence answers in a row with nothing before
// them: one answer alone cannot tell an adapter that does not echo from an
// echo lost on the way, and a single write is trusted on the strength of
// "no echo". Once an echo has come, the port never trusts its absence again
// until it is reopened: after kMissesToForget answers in a row without it,
// the echo is no longer expected, but not known absent either.
class EchoState {
  public:
    static constexpr int kMissesToForget = 3;
    static constexpr int kAnswersToTrustAbsence = 2;

    bool learned() const { return state_ == TQ7310_ECHO_PRESENT; }
    bool unknown() const { return state_ == TQ7310_ECHO_UNKNOWN; }
    Tq7310Echo state() const { return state_; }

    // The adapter handed a request back, once more or for the first time.
    // A frame equal to the request over a network is the slave's answer or
    // noise, never an echo.
    void learn() {
        if (ruledOut_) {
            return;
        }
        state_ = TQ7310_ECHO_PRESENT;
        misses_ = 0;
        seenSinceOpen_ = true;
    }
    // A request was answered with nothing before the answer.
    void answeredWithout() {
        if (unknown() && !seenSinceOpen_ && ++answersWithout_ >= kAnswersToTrustAbsence) {
            state_ = TQ7310_ECHO_ABSENT;
        }
    }
    // An echo was awaited and did not come, but an answer did.
    void missed() {
        if (learned() && ++misses_ >= kMissesToForget) {
            state_ = TQ7310_ECHO_UNKNOWN;
        }
    }
    // Nothing on this line hands a request back: a network carries no echo.
    void ruleOut() {
        forget();
        state_ = TQ7310_ECHO_ABSENT;
        ruledOut_ = true;
    }
    // Another adapter may be on the line next time.
    void forget() {
        state_ = TQ7310_ECHO_UNKNOWN;
        misses_ = 0;
        answersWithout_ = 0;
        seenSinceOpen_ = false;
        ruledOut_ = false;
    }

    // The transaction that just found the echo, while nothing has come
    // since: its answer is still arriving. 0 for none.
    std::uint32_t answerBehind() const { return answerBehind_; }
    void transactionEnded(bool foundEcho, std::uint32_t sequence) {
        answerBehind_ = foundEcho ? sequence : 0;
    }

  private:
    Tq7310Echo state_ = TQ7310_ECHO_UNKNOWN;
    int misses_ = 0;
    int answersWithout_ = 0;
    bool seenSinceOpen_ = false;
    bool ruledOut_ = false;
    std::uint32_t answerBehind_ = 0;
};

}  // namespace modbusrtu

#endif
