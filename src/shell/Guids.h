// The provider's class identifier and the interface identifiers the module
// answers to. The platform headers declare the interfaces; the values are
// spelled out here so that the module depends on no GUID import library.
#pragma once

#include <windows.h>

// The one place the provider's class identifier is written down; its registry
// text is derived below, and a test checks the copies in the installer source.
inline constexpr CLSID kProviderClsid = {
    0x6B1D2E40, 0x7A35, 0x4C8E, {0x9F, 0x21, 0x3D, 0x5A, 0x7C, 0x0B, 0x9E, 0x14}};
inline constexpr IID kIidUnknown = {
    0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr IID kIidClassFactory = {
    0x00000001, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr IID kIidThumbnailProvider = {
    0xE357FCCD, 0xA995, 0x4576, {0xB0, 0x1F, 0x23, 0x46, 0x30, 0x15, 0x4E, 0x96}};
inline constexpr IID kIidInitializeWithStream = {
    0xB824B49D, 0x22AC, 0x4161, {0xAC, 0x8A, 0x99, 0x16, 0xE8, 0xFA, 0x3F, 0x7F}};

// GUIDs are compared as 16-byte values.
inline bool SameGuid(const GUID& a, const GUID& b) {
    return memcmp(&a, &b, sizeof(GUID)) == 0;
}

// A GUID in registry form, "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" with
// upper-case digits and a terminating null, made at compile time.
struct GuidText {
    wchar_t text[39];
};

inline constexpr GuidText ToGuidText(const GUID& g) {
    GuidText out = {};
    int at = 0;
    auto hex = [&](unsigned long value, int digits) {
        for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4)
            out.text[at++] = L"0123456789ABCDEF"[(value >> shift) & 0xF];
    };
    out.text[at++] = L'{';
    hex(g.Data1, 8);
    out.text[at++] = L'-';
    hex(g.Data2, 4);
    out.text[at++] = L'-';
    hex(g.Data3, 4);
    out.text[at++] = L'-';
    for (int i = 0; i < 8; ++i) {
        if (i == 2)
            out.text[at++] = L'-';
        hex(g.Data4[i], 2);
    }
    out.text[at++] = L'}';
    out.text[at] = L'\0';
    return out;
}

inline constexpr GuidText kProviderClsidText = ToGuidText(kProviderClsid);
