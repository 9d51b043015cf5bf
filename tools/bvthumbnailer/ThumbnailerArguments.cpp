#include "ThumbnailerArguments.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <strings.h>

namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool PercentDecode(const std::string& text, std::string* out) {
    out->clear();
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out->push_back(text[i]);
            continue;
        }
        const int high = i + 2 < text.size() ? HexValue(text[i + 1]) : -1;
        const int low = i + 2 < text.size() ? HexValue(text[i + 2]) : -1;
        if (high < 0 || low < 0 || (high == 0 && low == 0))
            return false;
        out->push_back(static_cast<char>(high << 4 | low));
        i += 2;
    }
    return true;
}

// RFC 3986 scheme: a letter, then letters, digits, '+', '-' or '.', then ':'.
// Returns the length of "scheme:", or 0 when the text does not start with one.
size_t SchemeLength(const std::string& text) {
    size_t n = 0;
    while (n < text.size() && (std::isalpha(static_cast<unsigned char>(text[n])) ||
                               (n > 0 && (std::isdigit(static_cast<unsigned char>(text[n])) ||
                                          std::strchr("+-.", text[n]) != nullptr))))
        ++n;
    return n > 0 && n < text.size() && text[n] == ':' ? n + 1 : 0;
}

bool ParseSize(const char* text, int* size) {
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || value < 1 || value > 1 << 20)
        return false;
    *size = static_cast<int>(value);
    return true;
}

} // namespace

bool LocalPathFromInput(const std::string& input, std::string* path, std::string* reason) {
    const size_t scheme = SchemeLength(input);
    // A path such as "C:..." has no business here, and a relative path that
    // merely contains a colon ("a:b") has no "//": both stay paths.
    if (scheme == 0 || input.compare(scheme, 2, "//") != 0) {
        if (input.empty()) {
            *reason = "empty input";
            return false;
        }
        *path = input;
        return true;
    }
    if (strncasecmp(input.c_str(), "file:", 5) != 0) {
        *reason = "not a local file: " + input;
        return false;
    }
    const size_t hostStart = scheme + 2;
    const size_t slash = input.find('/', hostStart);
    const std::string host = input.substr(hostStart, slash - hostStart);
    if (slash == std::string::npos ||
        (!host.empty() && strcasecmp(host.c_str(), "localhost") != 0)) {
        *reason = "not a local file: " + input;
        return false;
    }
    if (!PercentDecode(input.substr(slash), path)) {
        *reason = "malformed file URI: " + input;
        return false;
    }
    return true;
}

bool ParseThumbnailerArguments(int argc, const char* const* argv, ThumbnailerArguments* out,
                               std::string* reason) {
    int i = 1;
    bool haveSize = false;
    for (; i < argc && argv[i][0] == '-' && argv[i][1] != '\0'; ++i) {
        if (std::strcmp(argv[i], "--") == 0) {
            ++i;
            break;
        }
        if ((std::strcmp(argv[i], "-s") != 0 && std::strcmp(argv[i], "--size") != 0) ||
            i + 1 >= argc) {
            *reason = std::string("unknown option ") + argv[i];
            return false;
        }
        if (!ParseSize(argv[++i], &out->size)) {
            *reason = std::string("size must be a whole number from 1 to 1048576, not ") + argv[i];
            return false;
        }
        haveSize = true;
    }
    if (!haveSize || argc - i != 2) {
        *reason = "expected -s SIZE INPUT OUTPUT";
        return false;
    }
    out->input = argv[i];
    out->output = argv[i + 1];
    return true;
}
