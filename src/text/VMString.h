// VMString: the framework's reference-counted text value.
//
// The text is a view (offset, length) into a shared TextBuffer record; every
// object that holds a record counts once in its shareCount, so assignment,
// Clone and the view operations copy no bytes. Apart from the overwrite
// family, which writes in place, a write first makes the text unique (a
// record of its own, owned, held once) or builds a new record: writing
// through one holder never changes another. A null text holds no bytes
// (IsNull); an empty one has bytes but length 0. A text built here in its own
// buffer is followed by two zero bytes whenever the capacity allows (the
// buffer size rule always does).
//
// Objects live on the heap, start with refCount 1 and end through Release or
// Destroy, which release the record; the destructor alone does not.
//
// The 187 virtual slots are part of the interface: their order below is fixed
// (slot numbers in the comments) and pinned by a test. Do not insert, remove
// or reorder virtual members.
//
// Positions, counts and lengths are int32 byte counts relative to the start of
// the text; -1 means "not found". Integers in the text are little-endian. A
// lead byte (0x81-0x9F, 0xE0-0xFC) and the byte after it form one Shift-JIS
// character wherever an operation must not split characters.
#pragma once

#include "text/TextBuffer.h"
#include "values/VMValue.h"

#include <cstdarg>
#include <cstdint>

class TextList; // supplied by users of the framework; filled by Split

class VMString : public VMValue {
  public:
    VMString() = default; // null, refCount 1

    // --- VMBase (slots 0-15) ---------------------------------------------
    // 0: the destructor does not release the record; see Destroy.
    bool Assign(const VMBase* other) override;                // 1: AssignSub(other, 0, -1)
    std::uint32_t GetTypeId() const override;                 // 2: 0xCA007951
    bool IsKindOf(std::uint32_t typeId) const override;       // 3: that id only
    std::int32_t Compare(const VMBase* other) const override; // 12: CompareText

    // --- VMValue (slots 16-33) -------------------------------------------
    void Destroy() override;                          // 16: Clear, then delete
    VMString* Retain() override;                      // 28
    void AssignValue(const VMString* other) override; // 30: AssignSub(other, 0, -1)

    // --- storage (slots 34-52) -------------------------------------------
    virtual void Clear();                          // 34: release the record; null
    virtual VMString* Clone() const;               // 35: new object sharing the view
    virtual void AttachBuffer(TextBuffer* record); // 36: share a record, whole
    virtual void AssignCString(const char* text, TextAllocator* allocator); // 37
    // 38: shares other's record with the view clamped to other's text.
    virtual void AssignSub(const VMString* other, int start, int count);
    // 39: copies length bytes into a block of the given capacity (the size
    // rule when it cannot hold them), or with a negative capacity wraps src as
    // a foreign buffer: nothing is copied and the bytes are never freed here.
    // A negative length changes nothing.
    virtual void AssignBytes(const std::uint8_t* src, int length, int capacity,
                             TextAllocator* allocator);
    // 40: takes over block, which must come from TextBuffer::AllocateBlock
    // with the same allocator (a negative capacity: foreign, never freed).
    // The text is block[offset, offset + length); capacity 0 means exactly
    // that much. Arguments that do not describe bytes inside the block make
    // the text null and leave the block with the caller.
    virtual void AdoptBuffer(std::uint8_t* block, int offset, int length, int capacity,
                             TextAllocator* allocator);
    // 41: unique text of the new length at offset 0; with keepInPlace a
    // shorter length on a shared or foreign buffer only shortens the view.
    // A negative length, or one no record can hold, changes nothing.
    virtual void SetLength(int length, int capacityHint, bool keepInPlace);
    virtual void Allocate(int length, int capacityHint, TextAllocator* allocator); // 42: zeros
    virtual void MakeUnique();                                  // 43: copy on write
    virtual bool IsUnique() const;                              // 44
    virtual bool UsesAllocator(TextAllocator* allocator) const; // 45
    virtual TextAllocator* GetAllocator() const;                // 46
    virtual void SetAllocator(TextAllocator* allocator);        // 47: move the bytes there
    virtual int NotifyAllocator(int a, int b);                  // 48: the allocator's hook, or 0
    virtual bool IsNull() const;                                // 49
    virtual void Empty();                                       // 50: as Clear
    virtual void EnsureTerminated();                            // 51: a zero byte follows the text
    virtual const char* CStr();                                 // 52

    // --- raw access (slots 53-65): bounds checked; 0 or nothing outside ---
    virtual void CopyBytesOut(int pos, int count, void* dst, int dstOffset) const; // 53
    virtual char GetAt(int i) const;                                               // 54
    virtual char GetAtUpper(int i) const;                                          // 55
    virtual std::uint8_t GetUInt8(int i) const;                                    // 56
    virtual std::uint16_t GetUInt16(int i) const;                                  // 57
    virtual std::int32_t GetInt32(int i) const;                                    // 58
    virtual std::uint32_t GetUInt32(int i) const;                                  // 59
    virtual void SetAt(int i, char c);                                             // 60: grows
    virtual void PutUInt8(int i, int value);                                       // 61: grows
    virtual void PutUInt16(int i, int value);                                      // 62: grows
    virtual void PutInt32(int i, int value);                                       // 63: grows
    virtual void PutUInt32(int i, std::uint32_t value);                            // 64: grows
    virtual void CopyTo(char* dst, int size) const; // 65: never splits a character

    // --- formatting and editing (slots 66-107) ---------------------------
    virtual void FormatV(const char* format, va_list args);                                // 66
    virtual void Format(const char* format, ...);                                          // 67
    virtual void AppendBytes(const std::uint8_t* src, int count, int srcOffset);           // 68
    virtual void AppendFill(int byte, int count);                                          // 69
    virtual void AppendByte(int value);                                                    // 70
    virtual void AppendUInt16(int value);                                                  // 71
    virtual void AppendInt32(int value);                                                   // 72
    virtual void AppendUInt32(std::uint32_t value);                                        // 73
    virtual void AppendCString(const char* text);                                          // 74
    virtual void AppendText(const VMString* other);                                        // 75
    virtual void AppendSub(const VMString* other, int start, int count);                   // 76
    virtual void AppendIndentedBytes(int tabs, const char* src, int count, int srcOffset); // 77
    virtual void AppendIndentedCString(int tabs, const char* text);                        // 78
    virtual void AppendIndentedText(int tabs, const VMString* other);                      // 79
    virtual void AssignBytesWithByte(const char* src, int count, int byte, int srcOffset); // 80
    virtual void AssignCStringWithByte(const char* text, int byte);                        // 81
    virtual void AssignTextWithByte(const VMString* other, int byte);                      // 82
    virtual void AssignConcatBytes(const char* a, int aCount, const std::uint8_t* b, int bCount,
                                   int aOffset, int bOffset);                             // 83
    virtual void AssignConcatCStrings(const char* a, const char* b);                      // 84
    virtual void AssignConcatTextCString(const VMString* a, const char* b);               // 85
    virtual void AssignConcatCStringText(const char* a, const VMString* b);               // 86
    virtual void AssignConcatText(const VMString* a, const VMString* b);                  // 87
    virtual void InsertFill(int pos, int byte, int count);                                // 88
    virtual void InsertByte(int pos, int value);                                          // 89
    virtual void InsertUInt16(int pos, int value);                                        // 90
    virtual void InsertInt32(int pos, int value);                                         // 91
    virtual void InsertUInt32(int pos, std::uint32_t value);                              // 92
    virtual void InsertBytes(int pos, const std::uint8_t* src, int count, int srcOffset); // 93
    virtual void InsertCString(int pos, const char* text);                                // 94
    virtual void InsertText(int pos, const VMString* other);                              // 95
    virtual void InsertAtLineBytes(int line, const std::uint8_t* src, int count,
                                   int srcOffset);                                           // 96
    virtual void InsertAtLineCString(int line, const char* text);                            // 97
    virtual void InsertAtLineText(int line, const VMString* other);                          // 98
    virtual void OverwriteBytes(int pos, const std::uint8_t* src, int count, int srcOffset); // 99
    virtual void OverwriteCString(int pos, const char* text);                                // 100
    virtual void OverwriteText(int pos, const VMString* other);                              // 101
    virtual void Delete(int pos, int count);                                                 // 102
    virtual void ReplaceChars(const char* set, int byte);                                    // 103
    virtual void ReplaceCharsWithText(const char* set, const VMString* replacement);         // 104
    virtual void ReplaceLineBytes(int line, const std::uint8_t* src, int count,
                                  int srcOffset);                  // 105
    virtual void ReplaceLineCString(int line, const char* text);   // 106
    virtual void ReplaceLineText(int line, const VMString* other); // 107

    // --- substrings, trimming, case, escapes, splitting (108-127) --------
    virtual void Unescape();                                              // 108
    virtual void UnescapeQuotes();                                        // 109
    virtual void MakeLower();                                             // 110
    virtual void MakeUpper();                                             // 111
    virtual VMString* Mid(int start, int count) const;                    // 112
    virtual VMString* Left(int count) const;                              // 113
    virtual VMString* RightFrom(int start) const;                         // 114
    virtual VMString* Trimmed(const char* set, int* leftCount) const;     // 115
    virtual VMString* TrimmedWhitespace(int* leftCount) const;            // 116
    virtual VMString* MidView(int start, int count) const;                // 117
    virtual VMString* LeftView(int count) const;                          // 118
    virtual VMString* RightFromView(int start) const;                     // 119
    virtual VMString* TrimmedView(const char* set, int* leftCount) const; // 120
    virtual VMString* TrimmedWhitespaceView(int* leftCount) const;        // 121
    virtual void Crop(int start, int count);                              // 122
    virtual void KeepLeft(int count);                                     // 123
    virtual void KeepFrom(int start);                                     // 124
    virtual void Trim(const char* set);                                   // 125
    virtual void TrimWhitespace();                                        // 126
    virtual int Split(TextList* list, int separator) const;               // 127

    // --- comparison and search (128-167) ---------------------------------
    virtual int Find(int ch, int from) const;                                              // 128
    virtual int FindOneOf(const char* set, int from) const;                                // 129
    virtual int ReverseFind(int ch, int upTo) const;                                       // 130
    virtual int ReverseFindOneOf(const char* set, int upTo) const;                         // 131
    virtual int FindNot(int ch, int from) const;                                           // 132
    virtual int FindNotOneOf(const char* set, int from) const;                             // 133
    virtual int CompareBytes(const std::uint8_t* other, int count, int otherOffset) const; // 134
    virtual int CompareCString(const char* other) const;                                   // 135
    virtual int CompareText(const VMString* other) const;                                  // 136
    virtual int CompareBytesNoCase(const std::uint8_t* other, int count,
                                   int otherOffset) const;      // 137
    virtual int CompareCStringNoCase(const char* other) const;  // 138
    virtual int CompareTextNoCase(const VMString* other) const; // 139
    virtual int CollateBytesNoCase(const std::uint8_t* other, int count,
                                   int otherOffset) const;                             // 140
    virtual int CollateCStringNoCase(const char* other) const;                         // 141
    virtual int CollateTextNoCase(const VMString* other) const;                        // 142
    virtual int CompareCStringPrefix(const char* other, int n, int from) const;        // 143
    virtual int CompareTextPrefix(const VMString* other, int n, int from) const;       // 144
    virtual int CompareCStringPrefixNoCase(const char* other, int n, int from) const;  // 145
    virtual int CompareTextPrefixNoCase(const VMString* other, int n, int from) const; // 146
    virtual int LeadStateAt(int index) const;                                          // 147
    virtual bool IsCharAt(int index, int ch) const;                                    // 148
    virtual bool StartsWithBytes(const std::uint8_t* p, int count, int pOffset) const; // 149
    virtual bool StartsWithCString(const char* p) const;                               // 150
    virtual bool StartsWithText(const VMString* p) const;                              // 151
    virtual bool StartsWithBytesNoCase(const std::uint8_t* p, int count,
                                       int pOffset) const;                    // 152
    virtual bool StartsWithCStringNoCase(const char* p) const;                // 153
    virtual bool StartsWithTextNoCase(const VMString* p) const;               // 154
    virtual bool EndsWithBytes(const std::uint8_t* p, int count) const;       // 155
    virtual bool EndsWithCString(const char* p) const;                        // 156
    virtual bool EndsWithText(const VMString* p) const;                       // 157
    virtual bool EndsWithBytesNoCase(const std::uint8_t* p, int count) const; // 158
    virtual bool EndsWithCStringNoCase(const char* p) const;                  // 159
    virtual bool EndsWithTextNoCase(const VMString* p) const;                 // 160
    virtual int FindPattern(const std::uint8_t* pattern, int count, bool returnEnd, int from,
                            int base) const;                                              // 161
    virtual int FindPatternCString(const char* pattern, bool returnEnd, int from) const;  // 162
    virtual int FindPatternText(const VMString* pattern, bool returnEnd, int from) const; // 163
    virtual int FindPatternNoCase(const std::uint8_t* pattern, int count, bool returnEnd, int from,
                                  int base) const; // 164
    virtual int FindPatternNoCaseCString(const char* pattern, bool returnEnd,
                                         int from) const; // 165
    virtual int FindPatternNoCaseText(const VMString* pattern, bool returnEnd,
                                      int from) const;      // 166
    virtual int LocateLine(int* lineStart, int line) const; // 167

    // --- number parsing, path parts, hashing (168-184) -------------------
    virtual std::int8_t ToInt8(std::int8_t defaultValue, int* error, bool allowFloat);    // 168
    virtual std::uint8_t ToUInt8(std::uint8_t defaultValue, int* error, bool allowFloat); // 169
    virtual std::int16_t ToInt16(std::int16_t defaultValue, int* error, bool allowFloat); // 170
    virtual std::uint16_t ToUInt16(std::uint16_t defaultValue, int* error,
                                   bool allowFloat);                                      // 171
    virtual std::int32_t ToInt32(std::int32_t defaultValue, int* error, bool allowFloat); // 172
    virtual std::uint32_t ToUInt32(std::uint32_t defaultValue, int* error,
                                   bool allowFloat);                                      // 173
    virtual std::int64_t ToInt64(std::int64_t defaultValue, int* error, bool allowFloat); // 174
    virtual std::uint64_t ToUInt64(std::uint64_t defaultValue, int* error,
                                   bool allowFloat);               // 175
    virtual float ToFloat(float defaultValue, int* error);         // 176
    virtual double ToDouble(double defaultValue, int* error);      // 177
    virtual VMString* FileTitle(bool useSlash) const;              // 178
    virtual VMString* FileExtension() const;                       // 179
    virtual VMString* DirectoryWithSeparator(bool useSlash) const; // 180
    virtual VMString* Directory(bool useSlash) const;              // 181
    virtual std::uint32_t HashNoCase() const;                      // 182
    virtual std::uint32_t ShortCode() const;                       // 183
    virtual std::int32_t IntAfterPrefix(const char* prefix) const; // 184

    // --- enciphered copies (185-186) -------------------------------------
    // New texts owned by the caller. Encrypt pads with 1-8 bytes (their count,
    // or zeros) and enciphers whole blocks; Decrypt answers null when the
    // padding or the length does not check out, and an empty text for a
    // source shorter than one block. The key is the key's text up to its
    // first zero byte; a null key or key text is the empty key.
    virtual VMString* Encrypt(VMString* key, bool bigEndian, bool padWithCount) const; // 185
    virtual VMString* Decrypt(VMString* key, bool bigEndian, bool padWithCount) const; // 186

    // --- fields, for the file members and the other text families --------
    const char* Text() const { return textStart; } // the first byte of the text, or none
    // The text's bytes for writing: only right after SetLength or MakeUnique
    // has made them this object's own.
    char* Data() { return textStart; }
    const char* BufferData() const { return bufferData; }
    int Length() const { return length; }
    int Offset() const { return offset; }
    TextBuffer* Buffer() const { return buffer; }

  protected:
    ~VMString() override = default; // slot 0

  private:
    // Stores record (whose hold the caller has already counted) with the view
    // (viewOffset, viewLength), releasing the record held before if another.
    void Attach(TextBuffer* record, int viewOffset, int viewLength);
    // A new record from allocator, newLength bytes long, starting with as
    // much of the view as fits; null when no block can be had.
    TextBuffer* CopyOfView(TextAllocator* allocator, int newLength, int capacityHint) const;
    // The size bytes at i, little-endian; 0 unless all lie within the text.
    std::uint32_t ReadLE(int i, int size) const;
    // Makes bytes [i, i + size) part of a unique text, growing it when they
    // run past the end. False when i is negative or the room cannot be had.
    bool PrepareWrite(int i, int size);
    void WriteLE(int i, std::uint32_t value, int size);

    char* textStart = nullptr;  // bufferData + offset, none when null
    char* bufferData = nullptr; // the record's data
    std::int32_t length = 0;
    std::int32_t offset = 0;
    TextBuffer* buffer = nullptr;
};
