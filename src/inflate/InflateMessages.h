// The decompressor's log lines, in Shift-JIS, and the one function that writes
// them. Every line starts with the class tag; most name the container last.
#pragma once

#include "diag/BVLog.h"

namespace bv_inflate {

// Writes one line to the process log (formatted like printf). The formats are
// the constants below; the log does nothing unless it is switched on.
template <typename... Args> void InflateLog(const char* format, Args... args) {
    BVLog::Write(format, args...);
}
inline void InflateLog(const char* text) {
    BVLog::Write("%s", text);
}

#define BV_INFLATE_TAG "[BVInflate]"

// "ファイルが指定されてない" (no file given)
constexpr char kMsgNoFile[] =
    BV_INFLATE_TAG "\x83\x74\x83\x40\x83\x43\x83\x8b\x82\xaa\x8e\x77\x92\xe8"
                   "\x82\xb3\x82\xea\x82\xc4\x82\xc8\x82\xa2 - %s\n";
// "他のファイルを操作中" (another file is open)
constexpr char kMsgBusy[] =
    BV_INFLATE_TAG "\x91\xbc\x82\xcc\x83\x74\x83\x40\x83\x43\x83\x8b\x82\xf0"
                   "\x91\x80\x8d\xec\x92\x86 - %s\n";
// "ワークが作成できない" (work area cannot be made)
constexpr char kMsgNoWorkArea[] = BV_INFLATE_TAG "\x83\x8f\x81\x5b\x83\x4e\x82\xaa\x8d\xec\x90\xac"
                                                 "\x82\xc5\x82\xab\x82\xc8\x82\xa2 - %s\n";
// "パスワードが必要" (password needed)
constexpr char kMsgPassword[] = BV_INFLATE_TAG "\x83\x70\x83\x58\x83\x8f\x81\x5b\x83\x68\x82\xaa"
                                               "\x95\x4b\x97\x76 - %s\n";
// "CRCエラー" (CRC error)
constexpr char kMsgCrc[] = BV_INFLATE_TAG "CRC\x83\x47\x83\x89\x81\x5b - %s\n";
// "データが足りない" (data too short)
constexpr char kMsgShortData[] = BV_INFLATE_TAG "\x83\x66\x81\x5b\x83\x5e\x82\xaa\x91\xab\x82\xe8"
                                                "\x82\xc8\x82\xa2 - %s\n";
// "ブロックサイズが異常(len:..., xlen:...)" (stored block size broken)
constexpr char kMsgStoredSize[] = BV_INFLATE_TAG "\x83\x75\x83\x8d\x83\x62\x83\x4e\x83\x54\x83\x43"
                                                 "\x83\x59\x82\xaa\x88\xd9\x8f\xed"
                                                 "(len:0x%04x, xlen:0x%04x) - %s\n";
// "不正なブロックタイプ" (invalid block type)
constexpr char kMsgBlockType[] = BV_INFLATE_TAG "\x95\x73\x90\xb3\x82\xc8\x83\x75\x83\x8d\x83\x62"
                                                "\x83\x4e\x83\x5e\x83\x43\x83\x76 - %s\n";
// "ファイル読み込みエラー" (file read error)
constexpr char kMsgReadError[] = BV_INFLATE_TAG "\x83\x74\x83\x40\x83\x43\x83\x8b\x93\xc7\x82\xdd"
                                                "\x8d\x9e\x82\xdd\x83\x47\x83\x89\x81\x5b - %s\n";
// "ハフマンコードが異常" (Huffman code broken)
constexpr char kMsgBadCodeLengthCode[] = BV_INFLATE_TAG "\x83\x6e\x83\x74\x83\x7d\x83\x93\x83\x52"
                                                        "\x81\x5b\x83\x68\x82\xaa\x88\xd9\x8f\xed"
                                                        " - %s\n";
// "ビット長のリピート値が異常" (bit length repeat broken)
constexpr char kMsgBadRepeat[] = BV_INFLATE_TAG "\x83\x72\x83\x62\x83\x67\x92\xb7\x82\xcc\x83\x8a"
                                                "\x83\x73\x81\x5b\x83\x67\x92\x6c\x82\xaa\x88\xd9"
                                                "\x8f\xed - %s\n";
// "ハフマンテーブルがバッファに収まらない" (table space exhausted); names no file
constexpr char kMsgTableSpace[] = BV_INFLATE_TAG "\x83\x6e\x83\x74\x83\x7d\x83\x93\x83\x65\x81\x5b"
                                                 "\x83\x75\x83\x8b\x82\xaa\x83\x6f\x83\x62\x83\x74"
                                                 "\x83\x40\x82\xc9\x8e\xfb\x82\xdc\x82\xe7\x82\xc8"
                                                 "\x82\xa2\n";
// "長さのハフマンテーブルが異常" (literal/length table broken)
constexpr char kMsgBadLiteralTable[] = BV_INFLATE_TAG "\x92\xb7\x82\xb3\x82\xcc\x83\x6e\x83\x74"
                                                      "\x83\x7d\x83\x93\x83\x65\x81\x5b\x83\x75"
                                                      "\x83\x8b\x82\xaa\x88\xd9\x8f\xed - %s\n";
// "距離のハフマンテーブルが異常" (distance table broken)
constexpr char kMsgBadDistanceTable[] = BV_INFLATE_TAG "\x8b\x97\x97\xa3\x82\xcc\x83\x6e\x83\x74"
                                                       "\x83\x7d\x83\x93\x83\x65\x81\x5b\x83\x75"
                                                       "\x83\x8b\x82\xaa\x88\xd9\x8f\xed - %s\n";
// "不明なコード(code:... op:...)" (unknown literal/length code)
constexpr char kMsgBadCode[] = BV_INFLATE_TAG "\x95\x73\x96\xbe\x82\xc8\x83\x52\x81\x5b\x83\x68"
                                              "(code:%d op:0x%08x) - %s\n";
// "不明な距離(dist:... op:...)" (unknown distance code)
constexpr char kMsgBadDistance[] = BV_INFLATE_TAG "\x95\x73\x96\xbe\x82\xc8\x8b\x97\x97\xa3"
                                                  "(dist:%d op:0x%08x) - %s\n";

#undef BV_INFLATE_TAG

} // namespace bv_inflate
