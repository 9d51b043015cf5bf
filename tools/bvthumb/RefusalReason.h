// Why a handler gave no thumbnail for a document: the document is read again
// the way the handler's loader reads it, with the framework's own file and
// decompressor, and the first rule it breaks is put in words.
#pragma once

#include <string>

class BVFile;

// The reason, e.g. "not a document: no 'BVim' or 'BVa2' header", "header
// truncated after 20 bytes", or "9000 px wide; the 64-bit handler accepts
// documents up to 8192 px, the 32-bit one up to 5120". Empty when the
// document gives a preview to a handler whose largest side is maxSide, so
// the refusal came from somewhere else. Takes ownership of `file`.
std::string RefusalReason(BVFile* file, int maxSide);
