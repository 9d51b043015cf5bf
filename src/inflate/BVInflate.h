// BVInflate: reads the framework's compressed container through a BVFile as
// a forward-only stream of expanded bytes.
//
// The container is a small header (magic 0xFA41, flags, expanded size, CRC-32)
// followed by raw DEFLATE data or the bytes stored as they are. A file that
// does not start with a valid header is handed through unchanged. Open takes
// ownership of the file in every outcome but a null pointer; Close (or the
// destructor) closes and destroys it. Failures are reported on the process log
// and by results; the object is used by one thread at a time.
#pragma once

#include "inflate/InflateDecoder.h"

#include <cstdint>

class BVFile;

class BVInflate {
  public:
    static constexpr std::uint16_t kMagic = 0xFA41;
    static constexpr std::uint16_t FlagEncrypted = 0x1;
    static constexpr std::uint16_t FlagStored = 0x2;
    static constexpr std::uint16_t kFlagLimit = 8; // flags of 8 and more: not a container
    static constexpr int kNameSize = 260;

    BVInflate();
    BVInflate(const BVInflate&) = delete;
    BVInflate& operator=(const BVInflate&) = delete;
    virtual ~BVInflate(); // slot 0, the only virtual operation

    // 1: container opened; -1: no container, the file's bytes pass through;
    // 0: failure (the file has been destroyed, unless it was null).
    int Open(BVFile* file);
    // Delivers up to count expanded bytes to buffer + offset (a null buffer
    // drops them). Returns how many, fewer only at the end of the data, or -1.
    int Read(void* buffer, int offset, int count);
    // Releases the file and the work area. False when nothing was open or when
    // the expanded bytes, all read through buffers, fail the CRC.
    bool Close();
    // The header's expanded size, or the file's length when passing through.
    std::int32_t GetSize() const { return size_; }

  private:
    // The decoder's view of the payload: bounded by its end, counted in consumed_.
    class Source final : public bv_inflate::InflateInput {
      public:
        explicit Source(BVInflate& owner) : owner_(owner) {}
        int ReadSource(void* dst, int count) override;
        int PeekSource(const std::uint8_t** bytes) override;
        void TakeSource(int count) override;

      private:
        BVInflate& owner_;
    };

    int ReadSource(void* dst, int count);
    bool ReadHeader(std::uint16_t* flags, std::uint32_t* expanded);
    int StartPayload(std::uint16_t flags, const char* name);
    int ReadHeaderField(std::uint8_t* dst);
    int PassThrough();
    void Release();
    void DestroyFile();
    int ReadStored(std::uint8_t* out, int count);

    bool compressed_ = false;
    BVFile* file_ = nullptr;
    bv_inflate::InflateDecoder decoder_; // holds the state: Idle while nothing is open
    char name_[kNameSize] = {};
    std::uint8_t* work_ = nullptr;
    std::uint32_t expandedRemaining_ = 0;
    std::uint32_t crc_ = 0;
    std::uint32_t expectedCrc_ = 0;
    bool crcValid_ = false;
    bool stored_ = false;
    std::int32_t size_ = 0;
    std::int64_t consumed_ = 0; // payload bytes taken from the file
    std::int64_t limit_ = 0;    // payload bytes the file holds
    std::int64_t base_ = 0;     // file offset of the payload
    Source source_{*this};
    std::uint16_t magic_ = kMagic;
};
