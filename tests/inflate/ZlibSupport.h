// zlib as the control: raw deflate and inflate (window bits -15) and its CRC.
// Native builds only; the project's own code never links zlib.
#pragma once

#include "DeflateTestSupport.h"

namespace inflate_test {

// Raw deflate of data; empty when zlib refuses the parameters.
ByteVector ZlibDeflate(const ByteVector& data, int level, int strategy, int memLevel = 8);
// Raw inflate; false when zlib rejects the stream.
bool ZlibInflate(const ByteVector& stream, ByteVector& out);
std::uint32_t ZlibCrc(const ByteVector& data);

} // namespace inflate_test
