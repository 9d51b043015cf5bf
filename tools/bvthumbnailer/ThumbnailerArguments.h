// The command line of bvthumbnailer, in the shape the freedesktop thumbnailer
// convention gives it: `-s SIZE INPUT OUTPUT`, INPUT a path or a file:// URI.
#pragma once

#include <string>

struct ThumbnailerArguments {
    int size = 0;       // requested edge length, at least 1
    std::string input;  // as given: a path or a URI (see LocalPathFromInput)
    std::string output; // the PNG to write
};

// Parses argv[1..argc-1]. On failure returns false and sets *reason to one
// line saying what is wrong (without the program's name).
bool ParseThumbnailerArguments(int argc, const char* const* argv, ThumbnailerArguments* out,
                               std::string* reason);

// Turns INPUT into a local path: a file:// URI (empty or "localhost" host) is
// stripped of its scheme and host and percent-decoded; anything without a
// scheme is a path and is taken as it is. Refuses other schemes and hosts, a
// malformed escape and an escaped NUL byte (which would cut the path short).
bool LocalPathFromInput(const std::string& input, std::string* path, std::string* reason);
