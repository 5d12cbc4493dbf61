// An opt-in record of when layer calls happen, for timing a run's steps
// from outside. When VELTO_STEP_TRACE names a file, each traced call
// appends one line to it: CLOCK_MONOTONIC in nanoseconds, a blank, the
// event. Without that variable nothing is recorded.
#pragma once

namespace velto::platform {

void TraceStep(const char* event);

}  // namespace velto::platform
