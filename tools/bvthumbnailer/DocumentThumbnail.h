// A document's thumbnail for the desktops' thumbnail services: the preview
// loaded by the handler's own loader, scaled by its own resampler, written
// as a PNG with alpha.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Largest document width and height accepted: the 64-bit DLL's limit, so that
// a document gets a thumbnail on Linux exactly when it gets one in Explorer.
constexpr int kThumbnailerMaxDocumentSide = 8192;

struct ThumbnailImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels; // 0xAARRGGBB, rows top down, no gap
};

// Loads the preview of the document at path and scales it to fit a square of
// `size`, never beyond the preview's own size: file managers show a small
// preview small rather than blurred. False, with a one-line reason, when the
// file cannot be read or gives no preview.
bool MakeDocumentThumbnail(const std::string& path, int size, ThumbnailImage* out,
                           std::string* reason);

// Writes image as an 8-bit RGBA PNG into the file at path, in place: the file
// is opened with truncation, never replaced, because thumbnail services read
// back the file they created through the handle they hold. On failure the
// file is left empty and *reason says why.
bool WriteThumbnailPng(const std::string& path, const ThumbnailImage& image, std::string* reason);

// Empties an existing file, so that a failed run leaves no stale image behind;
// creates nothing.
void EmptyExistingFile(const std::string& path);
