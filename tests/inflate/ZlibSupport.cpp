#include "ZlibSupport.h"

#include <zlib.h>

namespace inflate_test {

ByteVector ZlibDeflate(const ByteVector& data, int level, int strategy, int memLevel) {
    z_stream z{};
    if (deflateInit2(&z, level, Z_DEFLATED, -15, memLevel, strategy) != Z_OK) {
        return {};
    }
    ByteVector out(deflateBound(&z, static_cast<uLong>(data.size())) + 64);
    z.next_in = const_cast<Bytef*>(data.data());
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    int rc = deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return rc == Z_STREAM_END ? out : ByteVector{};
}

bool ZlibInflate(const ByteVector& stream, ByteVector& out) {
    z_stream z{};
    if (inflateInit2(&z, -15) != Z_OK) {
        return false;
    }
    out.clear();
    std::uint8_t chunk[16384];
    z.next_in = const_cast<Bytef*>(stream.data());
    z.avail_in = static_cast<uInt>(stream.size());
    int rc = Z_OK;
    while (rc == Z_OK) {
        z.next_out = chunk;
        z.avail_out = sizeof chunk;
        rc = inflate(&z, Z_NO_FLUSH);
        out.insert(out.end(), chunk, chunk + (sizeof chunk - z.avail_out));
        if (rc == Z_BUF_ERROR && z.avail_in == 0) {
            break;
        }
    }
    inflateEnd(&z);
    return rc == Z_STREAM_END;
}

std::uint32_t ZlibCrc(const ByteVector& data) {
    return static_cast<std::uint32_t>(
        crc32(crc32(0, nullptr, 0), data.data(), static_cast<uInt>(data.size())));
}

} // namespace inflate_test
