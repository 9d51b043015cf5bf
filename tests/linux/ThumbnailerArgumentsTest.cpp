#include "ThumbnailerArguments.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct InputCase {
    const char* input;
    const char* path; // null: refused
};

// What thumbnail services hand over as %u, and what a person types.
const InputCase kInputs[] = {
    {"/home/a/doc.bvi", "/home/a/doc.bvi"},
    {"doc.bvi", "doc.bvi"},
    {"with space/doc.bvi", "with space/doc.bvi"},
    {"a:b.bvi", "a:b.bvi"}, // a colon is no scheme without "//"
    {"file:///home/a/doc.bvi", "/home/a/doc.bvi"},
    {"file:///home/a/my%20doc.bvi", "/home/a/my doc.bvi"},
    {"FILE:///x%2fy%2Fz", "/x/y/z"},
    {"file://localhost/tmp/%E6%97%A5.bb2", "/tmp/\xE6\x97\xA5.bb2"},
    {"file:///100%25.bvi", "/100%.bvi"},
    {"file:///a%2", nullptr},                 // escape cut short
    {"file:///a%zz", nullptr},                // not hex
    {"file:///a%00b.bvi", nullptr},           // would end the path early
    {"file://server/share/doc.bvi", nullptr}, // another machine
    {"file://", nullptr},
    {"sftp://host/doc.bvi", nullptr},
    {"", nullptr},
};

TEST(ThumbnailerArguments, LocalPathFromInput) {
    for (const InputCase& c : kInputs) {
        std::string path = "untouched", reason;
        const bool ok = LocalPathFromInput(c.input, &path, &reason);
        if (c.path != nullptr) {
            EXPECT_TRUE(ok) << c.input << ": " << reason;
            EXPECT_EQ(path, c.path) << c.input;
        } else {
            EXPECT_FALSE(ok) << c.input << " gave " << path;
            EXPECT_FALSE(reason.empty()) << c.input;
            EXPECT_EQ(reason.find('\n'), std::string::npos) << c.input;
        }
    }
}

struct CommandCase {
    std::vector<const char*> args; // after the program's name
    int size;                      // 0: refused
};

const CommandCase kCommands[] = {
    {{"-s", "128", "in.bvi", "out.png"}, 128},
    {{"--size", "256", "in.bvi", "out.png"}, 256},
    {{"-s", "1", "-s", "96", "in.bvi", "out.png"}, 96}, // the last one counts
    {{"-s", "128", "--", "-in.bvi", "out.png"}, 128},
    {{"-s", "0", "in.bvi", "out.png"}, 0},
    {{"-s", "-5", "in.bvi", "out.png"}, 0},
    {{"-s", "12x", "in.bvi", "out.png"}, 0},
    {{"-s", "99999999999", "in.bvi", "out.png"}, 0},
    {{"-s", "128", "in.bvi"}, 0},
    {{"-s", "128", "in.bvi", "out.png", "extra"}, 0},
    {{"in.bvi", "out.png"}, 0},
    {{"-x", "in.bvi", "out.png"}, 0},
    {{"-s"}, 0},
};

TEST(ThumbnailerArguments, Parse) {
    for (const CommandCase& c : kCommands) {
        std::vector<const char*> argv{"bvthumbnailer"};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        std::string line;
        for (const char* a : c.args)
            line += std::string(a) + " ";
        ThumbnailerArguments parsed;
        std::string reason;
        const bool ok =
            ParseThumbnailerArguments(static_cast<int>(argv.size()), argv.data(), &parsed, &reason);
        EXPECT_EQ(ok, c.size != 0) << line << reason;
        if (ok) {
            EXPECT_EQ(parsed.size, c.size) << line;
            EXPECT_EQ(parsed.output, "out.png") << line;
            EXPECT_NE(parsed.input.find("in.bvi"), std::string::npos) << line;
        } else {
            EXPECT_FALSE(reason.empty()) << line;
        }
    }
}

} // namespace
