// The process log switched on for a test, read back as lines.
#pragma once

#include "support/BVLogCapture.h"

#include <string>
#include <vector>

namespace inflate_test {

class LogCapture {
  public:
    // The lines written since construction (or the last Clear), each with its
    // "\n" as the decompressor formats it (the file holds CR LF).
    std::vector<std::string> Lines() const;
    void Clear() { capture_.Clear(); }

  private:
    BVLogCapture capture_;
};

} // namespace inflate_test
