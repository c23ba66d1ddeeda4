// A scratch folder for the checker's unit tests, with an activity log in it.
#pragma once

#include <string>

#include "checker/log_trace.h"
#include "common/testing/scratch.h"

class CheckerScratch : public ScratchDir {
 protected:
  // A trace into the folder's log, and the bytes of that log so far ("" when
  // it was never written).
  LogTrace trace(LogLevel level) const { return LogTrace(path("LOG.TXT"), level); }
  std::string log_text() const { return read_file("LOG.TXT"); }
};
