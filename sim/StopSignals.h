#pragma once
// The signals that stop the simulator, as a flag to test and a descriptor to
// poll: a poll on the line and standard input wakes for them too.

namespace sim {

// SIGTERM, SIGINT and SIGHUP end Server::run; the terminal cannot stop a
// simulator run in the background.
void installStopSignals();

bool stopRequested();
// Readable once a stop signal has come.
int stopFd();

}  // namespace sim
