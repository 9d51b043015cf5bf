// bvthumbnailer: thumbnails of .bvi and .bb2 documents for the desktops'
// thumbnail services (freedesktop thumbnailer convention).
//
//   bvthumbnailer -s SIZE INPUT OUTPUT.png
//
// INPUT is a path or a file:// URI. Exit status 0 only when OUTPUT holds the
// thumbnail; otherwise one line on standard error, status 1 (2 for a wrong
// command line), and OUTPUT, when it exists, is left empty.
#include "DocumentThumbnail.h"
#include "ThumbnailerArguments.h"

#include <cstdio>
#include <string>
#include <sys/stat.h>

namespace {

int Fail(const std::string& reason, int status) {
    std::fprintf(stderr, "bvthumbnailer: %s\n", reason.c_str());
    return status;
}

// Writing over the document itself would destroy it.
bool SameFile(const std::string& a, const std::string& b) {
    struct stat sa, sb;
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

} // namespace

int main(int argc, char** argv) {
    ThumbnailerArguments args;
    std::string reason;
    if (!ParseThumbnailerArguments(argc, argv, &args, &reason))
        return Fail(reason + " (usage: bvthumbnailer -s SIZE INPUT OUTPUT.png)", 2);
    std::string path;
    if (!LocalPathFromInput(args.input, &path, &reason)) {
        EmptyExistingFile(args.output);
        return Fail(reason, 1);
    }
    if (SameFile(path, args.output))
        return Fail(args.output + ": is the input document itself", 2);

    ThumbnailImage image;
    if (!MakeDocumentThumbnail(path, args.size, &image, &reason)) {
        EmptyExistingFile(args.output);
        return Fail(reason, 1);
    }
    if (!WriteThumbnailPng(args.output, image, &reason))
        return Fail(reason, 1);
    return 0;
}
