// Helpers shared by the VMString tests: owning handles, byte views and a
// TextAllocator that counts what it is asked and checks what it is given back.
#pragma once

#include "text/VMString.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <set>
#include <string>

struct ReleaseText {
    void operator()(VMString* s) const {
        if (s != nullptr)
            s->Release();
    }
};
using Text = std::unique_ptr<VMString, ReleaseText>;

inline Text MakeText(const char* bytes) {
    Text t(new VMString);
    t->AssignCString(bytes, nullptr);
    return t;
}

inline Text MakeBytes(const std::string& bytes) {
    Text t(new VMString);
    t->AssignBytes(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                   static_cast<int>(bytes.size()), 0, nullptr);
    return t;
}

// The text's bytes, or "<null>".
inline std::string Str(const VMString& s) {
    if (s.IsNull())
        return "<null>";
    return std::string(s.Text(), static_cast<std::size_t>(s.Length()));
}

inline int Shares(const VMString& s) {
    return s.Buffer() != nullptr ? s.Buffer()->shareCount : 0;
}

class CountingAllocator : public TextAllocator {
  public:
    ~CountingAllocator() override {
        EXPECT_TRUE(live.empty()) << live.size() << " blocks not freed";
    }

    char* Allocate(int size) override {
        ++allocations;
        lastSize = size;
        char* block = new char[static_cast<std::size_t>(size)];
        live.insert(block);
        return block;
    }
    void Free(char* block) override {
        ++frees;
        EXPECT_EQ(live.erase(block), 1u) << "a block this allocator did not give out";
        delete[] block;
    }
    int AllocatorHook(char* data, int a, int b) override {
        ++hooks;
        hookData = data;
        hookA = a;
        hookB = b;
        return 1000 + a + b;
    }

    int allocations = 0;
    int frees = 0;
    int hooks = 0;
    int lastSize = 0;
    char* hookData = nullptr;
    int hookA = 0;
    int hookB = 0;
    std::set<char*> live;
};
