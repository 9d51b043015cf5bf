#include "ContainerFile.h"

#include "bv_config.h"
#include "support/ContainerWriter.h"

#include <cstdio>
#include <type_traits>

namespace inflate_test {

int ContainerFile::live = 0;

ByteVector Container(const ContainerSpec& spec, const ByteVector& payload) {
    container_writer::Header h;
    h.magic = spec.magic;
    h.flags = spec.flags;
    h.expanded = spec.expanded;
    h.word8 = spec.word8;
    h.crc = spec.crc;
    h.extra = spec.extra;
    return container_writer::Container(h, payload);
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
    return container_writer::ReferenceCrc32(data);
}

std::string FileName(const void* file) {
    using Arg = std::conditional_t<sizeof(void*) == 8, unsigned long long, unsigned int>;
    char name[64];
    std::snprintf(name, sizeof name, BV_FILE_NAME_FORMAT,
                  static_cast<Arg>(reinterpret_cast<std::uintptr_t>(file)));
    return name;
}

} // namespace inflate_test
