#include "LogCapture.h"

namespace inflate_test {

std::vector<std::string> LogCapture::Lines() const {
    const std::string bytes = capture_.Bytes();
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = bytes.find("\r\n", start)) != std::string::npos; start = end + 2) {
        lines.push_back(bytes.substr(start, end - start) + "\n");
    }
    if (start < bytes.size()) {
        lines.push_back(bytes.substr(start)); // a line without its end: shows up in the diff
    }
    return lines;
}

} // namespace inflate_test
