#include "inflate/BVInflate.h"

#include "bv_config.h"
#include "file/BVFile.h"
#include "inflate/Crc32.h"
#include "inflate/InflateMessages.h"
#include "platform/Win32.h"

#include <cstdio>
#include <cstring>
#include <type_traits>

using bv_inflate::InflateDecoder;
using bv_inflate::InflateLog;

namespace {

constexpr int kFixedHeaderSize = 12;
constexpr int kFieldSize = 4;

// The argument type BV_FILE_NAME_FORMAT expects: the file object's address as
// an unsigned integer of the pointer's width.
using NameArgument = std::conditional_t<sizeof(void*) == 8, unsigned long long, unsigned int>;

void FormatName(char (&name)[BVInflate::kNameSize], const BVFile* file) {
    std::snprintf(name, sizeof name, BV_FILE_NAME_FORMAT,
                  static_cast<NameArgument>(reinterpret_cast<std::uintptr_t>(file)));
}

std::uint32_t LoadLittleEndian32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

int SmallerCount(std::int64_t count, std::int64_t room) {
    return static_cast<int>(count < room ? count : room);
}

} // namespace

BVInflate::BVInflate() = default;

BVInflate::~BVInflate() {
    if (file_ != nullptr) {
        Close();
    }
}

int BVInflate::Open(BVFile* file) {
    char name[kNameSize];
    FormatName(name, file);
    if (file == nullptr) {
        InflateLog(bv_inflate::kMsgNoFile, name);
        return 0;
    }
    if (decoder_.GetState() != InflateDecoder::Idle) {
        InflateLog(bv_inflate::kMsgBusy, name);
        delete file;
        return 0;
    }
    // A file still attached from a pass-through open would otherwise be lost.
    DestroyFile();

    file_ = file;
    limit_ = file->GetLength();
    base_ = 0;
    consumed_ = 0;
    compressed_ = false;

    std::uint16_t flags = 0;
    std::uint32_t expanded = 0;
    if (!ReadHeader(&flags, &expanded)) {
        return PassThrough();
    }
    base_ = consumed_;
    limit_ -= consumed_;
    size_ = static_cast<std::int32_t>(expanded);
    expandedRemaining_ = expanded;
    compressed_ = true;
    consumed_ = 0;
    file->Seek(base_, 0);
    return StartPayload(flags, name);
}

// Reads and checks the header fields the flags call for; false means the file
// holds no container. Sets the expected CRC.
bool BVInflate::ReadHeader(std::uint16_t* flags, std::uint32_t* expanded) {
    std::uint8_t header[kFixedHeaderSize + 2 * kFieldSize];
    const int got = file_->Read(header, 0, SmallerCount(kFixedHeaderSize, limit_));
    if (got > 0) {
        consumed_ += got;
    }
    if (got < kFixedHeaderSize) {
        return false;
    }
    *flags = static_cast<std::uint16_t>(header[2] | header[3] << 8);
    if ((header[0] | header[1] << 8) != magic_ || *flags >= kFlagLimit) {
        return false;
    }
    *expanded = LoadLittleEndian32(header + 4);
    const bool encrypted = (*flags & FlagEncrypted) != 0;
    if ((*flags & FlagStored) != 0 && !encrypted) {
        expectedCrc_ = LoadLittleEndian32(header + 8);
        return true;
    }
    if (ReadHeaderField(header + kFixedHeaderSize) != kFieldSize) {
        return false;
    }
    expectedCrc_ = LoadLittleEndian32(header + kFixedHeaderSize);
    // The extra word of an enciphered container is read and not interpreted.
    return !encrypted || ReadHeaderField(header + kFixedHeaderSize + kFieldSize) == kFieldSize;
}

// Takes the work area and readies the payload for reading; 1, or 0 after
// releasing everything.
int BVInflate::StartPayload(std::uint16_t flags, const char* name) {
    work_ = static_cast<std::uint8_t*>(GlobalAlloc(GMEM_ZEROINIT, bv_inflate::kWorkAreaSize));
    if (work_ == nullptr) {
        InflateLog(bv_inflate::kMsgNoWorkArea, name);
        Release();
        return 0;
    }
    if ((flags & FlagEncrypted) != 0) {
        // This system never deciphers a container.
        InflateLog(bv_inflate::kMsgPassword, name);
        Release();
        return 0;
    }
    stored_ = (flags & FlagStored) != 0;
    crc_ = bv_inflate::kCrcPreset;
    crcValid_ = true;
    std::memcpy(name_, name, sizeof name_);
    decoder_.Start(work_, &source_, name_);
    return 1;
}

int BVInflate::ReadHeaderField(std::uint8_t* dst) {
    const int got = file_->Read(dst, 0, SmallerCount(kFieldSize, limit_ - consumed_));
    if (got > 0) {
        consumed_ += got;
    }
    return got;
}

int BVInflate::PassThrough() {
    consumed_ = 0;
    file_->Seek(0, 0);
    size_ = static_cast<std::int32_t>(static_cast<std::uint32_t>(file_->GetLength()));
    return -1;
}

void BVInflate::DestroyFile() {
    if (file_ == nullptr) {
        return;
    }
    if (file_->IsOpen()) {
        file_->Close(false);
    }
    delete file_;
    file_ = nullptr;
}

void BVInflate::Release() {
    if (work_ != nullptr) {
        GlobalFree(work_);
        work_ = nullptr;
    }
    decoder_.Stop();
    stored_ = false;
    DestroyFile();
}

bool BVInflate::Close() {
    if (file_ == nullptr) {
        decoder_.SetState(InflateDecoder::Idle);
        return false;
    }
    bool ok = true;
    // Checked only when exactly the expanded size went through callers' buffers.
    if (compressed_ && expandedRemaining_ == 0 && crcValid_ && ~crc_ != expectedCrc_) {
        InflateLog(bv_inflate::kMsgCrc, name_);
        ok = false;
    }
    Release();
    return ok;
}

int BVInflate::ReadSource(void* dst, int count) {
    if (file_ == nullptr) {
        return -1;
    }
    const int got = file_->Read(dst, 0, SmallerCount(count, limit_ - consumed_));
    if (got > 0) {
        consumed_ += got;
    }
    return got;
}

int BVInflate::Source::ReadSource(void* dst, int count) {
    return owner_.ReadSource(dst, count);
}

int BVInflate::Source::PeekSource(const std::uint8_t** bytes) {
    BVFile* file = owner_.file_;
    *bytes = file->GetBufferPointer();
    return SmallerCount(file->GetBufferRemaining(), owner_.limit_ - owner_.consumed_);
}

void BVInflate::Source::TakeSource(int count) {
    owner_.file_->Read(nullptr, 0, count);
    owner_.consumed_ += count;
}

int BVInflate::ReadStored(std::uint8_t* out, int count) {
    const int got = ReadSource(out, count);
    if (got < count) {
        decoder_.SetState(InflateDecoder::Done);
    }
    return got;
}

int BVInflate::Read(void* buffer, int offset, int count) {
    if (file_ != nullptr && !file_->IsOpen()) {
        return -1;
    }
    if (file_ != nullptr && !compressed_) {
        // Pass-through: no CRC and no size bound.
        const int got = file_->Read(buffer, offset, SmallerCount(count, limit_ - consumed_));
        if (got > 0) {
            consumed_ += got;
        }
        if (got < count) {
            decoder_.SetState(InflateDecoder::Done);
        }
        return got;
    }
    std::uint8_t* out = buffer != nullptr ? static_cast<std::uint8_t*>(buffer) + offset : nullptr;
    int produced;
    if (stored_) {
        produced = ReadStored(out, count);
        if (produced < 0) {
            return -1;
        }
    } else if (count <= 0) {
        produced = 0;
    } else {
        const InflateDecoder::State state = decoder_.GetState();
        if (state == InflateDecoder::Idle || state == InflateDecoder::Error) {
            return -1;
        }
        produced = decoder_.Decode(out, count);
        if (produced < 0) {
            return -1;
        }
    }
    // The expanded size caps what a container delivers and checks.
    if (static_cast<std::uint32_t>(produced) > expandedRemaining_) {
        produced = static_cast<int>(expandedRemaining_);
    }
    if (out == nullptr) {
        crcValid_ = false;
    } else if (crcValid_) {
        // Once a skip has made the check impossible the register is never
        // looked at again: no need to keep it up.
        crc_ = bv_inflate::Crc32Update(crc_, out, static_cast<std::size_t>(produced));
    }
    expandedRemaining_ -= static_cast<std::uint32_t>(produced);
    return produced;
}
