// The process log switched on into a temporary file for the life of the
// object: unbuffered, no stamps, no indentation, so Bytes() returns exactly
// what reached the file:
//
//     BVLogCapture log;
//     RunTheDecoderOn(badStream);
//     EXPECT_EQ(log.Bytes(), "[BVInflate] \x83\x66...\r\n");
//
// One at a time, on one thread; it switches the log off when it ends.
#pragma once

#include <string>

class BVLogCapture {
  public:
    BVLogCapture();
    ~BVLogCapture(); // switches the log off and removes the file
    BVLogCapture(const BVLogCapture&) = delete;
    BVLogCapture& operator=(const BVLogCapture&) = delete;

    std::string Bytes() const; // everything written so far
    void Clear();              // forgets what was written so far
    const std::string& Path() const { return path; }

  private:
    std::string path;
};
