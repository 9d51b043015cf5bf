// The portable half of Initialize: reading a document's preview image.
#pragma once

#include "bv_config.h"

class BVBitmap;
class BVFile;

// Reads the document header and the preview block from `file` through a
// decompressor (which expands a compressed container, copies a stored one and
// passes anything else through) and returns the preview as a new bitmap, or
// null when the document gives none. Takes ownership of `file` in every
// outcome; nothing of it is left when the call returns.
//
// maxSide is the largest document width and height accepted. Previews larger
// than a thumbnail can be made from are refused before anything is allocated
// or expanded for them.
BVBitmap* LoadPreview(BVFile* file, int maxSide = BV_MAX_DOCUMENT_SIDE);
