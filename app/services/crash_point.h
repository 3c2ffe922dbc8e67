#pragma once

// A test-only way to end the program at a named instant of a step that changes two things:
// with VELMORA_CRASH_AT=name set when the program starts, reaching that point kills the process
// as a power cut would (no clean-up); with VELMORA_SIGNAL_AT=name, it sends itself SIGTERM there,
// as a logout would. Without them, nothing happens.
void crashPoint(const char* name);
