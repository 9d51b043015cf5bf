// The reasons bvthumb gives for a refused document, one per rule of the
// loader, through each container form; and none for a document the loader
// takes, which is checked against the loader itself.
#include "bvthumb/RefusalReason.h"

#include "bitmap/BVBitmap.h"
#include "file/BVMemoryFile.h"
#include "shell/DocumentBuilder.h"
#include "shell/PreviewLoader.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

using testdoc::Bytes;
using testdoc::Container;

const char kLimits[] =
    "the 64-bit handler accepts documents up to 8192 px, the 32-bit one up to 5120";

std::string Reason(const Bytes& file, int maxSide) {
    return RefusalReason(
        BVMemoryFile::FromMemory(file.data(), static_cast<std::uint32_t>(file.size())), maxSide);
}

Bytes Doc(testdoc::Header h, int pw = 2, int ph = 1) {
    return testdoc::Document(h, pw, ph, std::vector<std::uint32_t>(pw > 0 && ph > 0 ? pw * ph : 0));
}

Bytes Cut(Bytes b, size_t n) {
    b.resize(n);
    return b;
}

TEST(RefusalReasonTest, EachRuleInWords) {
    testdoc::Header bad;
    const Bytes good = Doc(bad);
    struct Case {
        const char* name;
        Bytes document;
        int maxSide;
        std::string reason;
    } cases[] = {
        {"empty", {}, 8192, "the file is empty"},
        {"text",
         {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd', ' ',
          'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd', '!'},
         8192,
         "not a document: no 'BVim' or 'BVa2' header"},
        {"short header", Cut(good, 20), 8192, "header truncated after 20 bytes"},
        {"ends in the skipped bytes", Cut(good, 30), 8192, "header truncated after 30 bytes"},
        {"ends in the preview size", Cut(good, 44), 8192, "header truncated after 44 bytes"},
        {"level 12", Doc({"BVim", 12}), 8192,
         "format level 12; the handlers read level 13 and later"},
        {"width 0", Doc({"BVa2", 13, 0, 5}), 8192, "the header declares a width of 0 px"},
        {"height -1", Doc({"BVim", 13, 5, -1}), 8192, "the header declares a height of -1 px"},
        {"9000 wide", Doc({"BVim", 13, 9000, 10}), 8192, std::string("9000 px wide; ") + kLimits},
        {"6000 wide, 32-bit", Doc({"BVim", 13, 6000, 10}), 5120,
         std::string("6000 px wide; ") + kLimits},
        {"9000 high", Doc({"BVim", 13, 6000, 9000}), 8192, std::string("9000 px high; ") + kLimits},
        {"no layers", Doc({"BVim", 13, 5, 5, 0, 0}), 8192, "the header declares 0 layers"},
        {"preview 300 wide", Doc({}, 300, 1), 8192,
         "the preview is 300 x 1 px; the handlers take previews of 1 to 256 px on a side"},
        {"preview 0 high", Doc({}, 4, 0), 8192,
         "the preview is 4 x 0 px; the handlers take previews of 1 to 256 px on a side"},
        {"no pixels", Cut(good, 48), 8192,
         "the preview has no pixels: the document ends after its 48-byte head"},
        {"6000 wide, 64-bit", Doc({"BVim", 13, 6000, 10}), 8192, ""},
        {"one pixel byte", Cut(good, 49), 8192, ""},
    };
    for (const Case& c : cases)
        for (Container form : {Container::Plain, Container::Stored, Container::Fixed}) {
            SCOPED_TRACE(c.name + std::string(" form ") + std::to_string(static_cast<int>(form)));
            const Bytes file = testdoc::Wrap(c.document, form);
            EXPECT_EQ(Reason(file, c.maxSide), c.reason);
            // No reason exactly when the handler's loader takes the document.
            std::unique_ptr<BVBitmap> preview(LoadPreview(
                BVMemoryFile::FromMemory(file.data(), static_cast<std::uint32_t>(file.size())),
                c.maxSide));
            EXPECT_EQ(preview != nullptr, c.reason.empty());
        }
}

TEST(RefusalReasonTest, DamagedCompressedData) {
    Bytes file = testdoc::Wrap(Doc({}), Container::Fixed);
    file[16] = 0x07; // the first block: final, of the reserved type 3
    EXPECT_EQ(Reason(file, 8192), "the compressed data is damaged");
}

} // namespace
