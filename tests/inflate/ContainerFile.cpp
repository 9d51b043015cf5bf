#include "ContainerFile.h"

#include "bv_config.h"

#include <cstdio>
#include <type_traits>

namespace inflate_test {

int ContainerFile::live = 0;

namespace {

void Put32(ByteVector& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    }
}

} // namespace

ByteVector Container(const ContainerSpec& spec, const ByteVector& payload) {
    ByteVector out{
        static_cast<std::uint8_t>(spec.magic), static_cast<std::uint8_t>(spec.magic >> 8),
        static_cast<std::uint8_t>(spec.flags), static_cast<std::uint8_t>(spec.flags >> 8)};
    Put32(out, spec.expanded);
    const bool encrypted = (spec.flags & 1) != 0;
    const bool stored = (spec.flags & 2) != 0;
    Put32(out, stored && !encrypted ? spec.crc : spec.word8);
    if (!stored || encrypted) {
        Put32(out, spec.crc);
    }
    if (encrypted) {
        Put32(out, spec.extra);
    }
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

ByteVector DeflatedContainer(const ByteVector& data) {
    ContainerSpec s;
    s.expanded = static_cast<std::uint32_t>(data.size());
    s.crc = ReferenceCrc(data);
    return Container(s, FixedLiteralStream(data));
}

ByteVector StoredContainer(const ByteVector& data) {
    ContainerSpec s;
    s.flags = 2;
    s.expanded = static_cast<std::uint32_t>(data.size());
    s.crc = ReferenceCrc(data);
    return Container(s, data);
}

std::uint32_t ReferenceCrc(const ByteVector& data) {
    std::uint32_t reg = 0xFFFFFFFFu;
    for (std::uint8_t b : data) {
        reg ^= b;
        for (int i = 0; i < 8; ++i) {
            reg = (reg & 1) != 0 ? (reg >> 1) ^ 0xEDB88320u : reg >> 1;
        }
    }
    return ~reg;
}

std::string FileName(const void* file) {
    using Arg = std::conditional_t<sizeof(void*) == 8, unsigned long long, unsigned int>;
    char name[64];
    std::snprintf(name, sizeof name, BV_FILE_NAME_FORMAT,
                  static_cast<Arg>(reinterpret_cast<std::uintptr_t>(file)));
    return name;
}

} // namespace inflate_test
