// VectorFile: a BVFile over a byte vector, for tests.
//
// Reads come from `source`, flushed writes land in `sink`. The transport can
// be told to deliver in small pieces, to end before the source does, to fail
// a given refill, or to fail its flushes, and it counts both, so that tests
// can see how often the buffered core touches it.
#pragma once

#include "file/BVFile.h"
#include "platform/Win32.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

class VectorFile : public BVFile {
  public:
    using BVFile::Close;
    using BVFile::Read;
    using BVFile::Write;

    std::vector<std::uint8_t> source;
    std::vector<std::uint8_t> sink;
    std::size_t sourcePos = 0;

    std::size_t piece = 0;                            // bytes per refill at most; 0: a buffer full
    std::size_t endAt = static_cast<std::size_t>(-1); // the source ends here
    int failFillAt = -1;                              // refill number (from 0) that answers -1
    bool failFlush = false;                           // every flush with waiting bytes fails

    int fills = 0;   // FillBuffer calls
    int flushes = 0; // flushes that wrote bytes

    VectorFile() = default;
    VectorFile(std::uint32_t openMode, std::uint32_t size, std::vector<std::uint8_t> content = {}) {
        Open(openMode, size, std::move(content));
    }
    ~VectorFile() override { Close(true); }

    bool Open(std::uint32_t openMode, std::uint32_t size, std::vector<std::uint8_t> content = {}) {
        Close(true);
        source = std::move(content);
        sourcePos = 0;
        mode = openMode;
        bufferSize = size;
        length = static_cast<std::int64_t>(source.size());
        if ((openMode & ModeHandleOnly) == 0) {
            buffer = static_cast<std::uint8_t*>(GlobalAlloc(GPTR, size));
            if (buffer == nullptr)
                return false;
            capacity = size;
        }
        cursor = buffer;
        available = 0;
        lastOk = 1;
        return true;
    }

    bool Close(bool force) override {
        if (!BVFile::Close(force))
            return false;
        if (buffer != nullptr && capacity != 0)
            GlobalFree(buffer);
        buffer = nullptr;
        capacity = 0;
        return true;
    }

    int FillBuffer() override {
        if (buffer == nullptr || (mode & ModeHandleOnly) != 0)
            return -1;
        if (fills++ == failFillAt)
            return -1;
        const std::size_t end = std::min(source.size(), endAt);
        std::size_t take = end > sourcePos ? end - sourcePos : 0;
        take = std::min<std::size_t>(take, capacity);
        if (piece != 0)
            take = std::min(take, piece);
        if (take != 0)
            std::memcpy(buffer, source.data() + sourcePos, take);
        sourcePos += take;
        cursor = buffer;
        available = static_cast<std::uint32_t>(take);
        return take != 0 ? 1 : 0;
    }

    bool Flush() override {
        if (buffer == nullptr || (mode & ModeHandleOnly) != 0)
            return false;
        if (cursor == buffer)
            return true;
        if (failFlush)
            return false;
        sink.insert(sink.end(), buffer, cursor);
        cursor = buffer;
        ++flushes;
        return true;
    }

    std::int64_t GetPosition() override {
        return (mode & ModeWrite) != 0 ? position
                                       : static_cast<std::int64_t>(sourcePos) - available;
    }

    std::int64_t WriterPosition() const { return position; }
    std::uint32_t Waiting() const { return static_cast<std::uint32_t>(cursor - buffer); }
};

inline std::vector<std::uint8_t> Bytes(std::initializer_list<int> values) {
    std::vector<std::uint8_t> out;
    for (int v : values)
        out.push_back(static_cast<std::uint8_t>(v));
    return out;
}

inline std::vector<std::uint8_t> Bytes(const char* text) {
    return std::vector<std::uint8_t>(text, text + std::strlen(text));
}

// Bytes 0, 1, 2, ... (mod 251, so that no period matches a buffer size).
inline std::vector<std::uint8_t> Pattern(std::size_t n) {
    std::vector<std::uint8_t> out(n);
    for (std::size_t i = 0; i < n; ++i)
        out[i] = static_cast<std::uint8_t>(i % 251);
    return out;
}
