#pragma once

#include <string>
#include <vector>

// Many HTTP clients at once against one loopback port, driven from one thread with poll: all of
// them connect together, each sends one POST and reads its answer to the end. Nothing is retried.
struct BurstOutcome {
    int connected = 0; // connections the server's side took (accepted or waiting to be)
    int answered = 0;  // a whole answer with HTTP status 200
    int otherStatus = 0;
    int reset = 0;  // the connection was reset or refused
    int failed = 0; // any other socket error, or closed before the answer was whole
    int timedOut = 0;
    double slowestMs = 0;            // of the answered ones, from the common start
    std::vector<std::string> bodies; // of the answered ones, in client order
};

// `bodies` holds one request body per client. With `hold`, a client keeps its connection open
// after its answer until every client is done (as a browser keeps one alive); otherwise it lets
// it go at once, as Velmora does.
BurstOutcome httpBurst(int port, const std::string& path, const std::vector<std::string>& bodies, bool hold,
                       int timeoutMs);
