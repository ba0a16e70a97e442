#pragma once
// The search on a thread of its own. A probe blocks for as long as its reply
// takes (half a second when patient), and the windows must answer within a
// few milliseconds meanwhile. The search's signals reach receivers on other
// threads queued, in the order they were sent.

#include <QThread>

#include "ModuleSearch.h"

namespace finder {

class SearchThread {
  public:
    explicit SearchThread(Prober& prober);
    // Stops the search with the port closed, and ends the thread.
    ~SearchThread();
    SearchThread(const SearchThread&) = delete;
    SearchThread& operator=(const SearchThread&) = delete;

    // Lives on the search's thread: connect to its signals, call nothing.
    ModuleSearch& search() { return *search_; }
    bool running() const { return search_->running(); }

    // Returns once the search has begun; its first probe follows on the thread.
    void start(const Scope& scope);
    // Returns at once; the search stops after the probe under way, and
    // `finished(true)` follows.
    void stop();
    // Returns once the search has stopped and the port is closed.
    void stopAndWait();

  private:
    QThread thread_;
    ModuleSearch* search_;  // deleted on its thread as the thread ends
};

}  // namespace finder
