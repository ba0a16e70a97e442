#pragma once
// Marks a poll as running for the length of a scope. A timer tick that
// arrives while its own poll is yielded finds the flag set and is dropped, so
// a tick never runs inside itself.

class ReentryGuard {
  public:
    explicit ReentryGuard(bool& running) : running_(running), entered_(!running) {
        running_ = true;
    }
    ~ReentryGuard() {
        if (entered_) {
            running_ = false;
        }
    }
    ReentryGuard(const ReentryGuard&) = delete;
    ReentryGuard& operator=(const ReentryGuard&) = delete;

    bool entered() const { return entered_; }

  private:
    bool& running_;
    bool entered_;
};
