// UTF-8, as Linux names files, to and from the UTF-16 of Windows' paths.
// Written out here: no conversion of the C library is fit for a static build
// (iconv needs its modules at run time).
#include "platform/linux/thermal.h"

bool Utf16FromUtf8(const char* Text, WCHAR* Out, size_t* Units)
{
    size_t units = 0;
    for (const auto* c = reinterpret_cast<const unsigned char*>(Text); *c != 0;) {
        unsigned int code = *c;
        size_t more = 0;
        unsigned int least = 0;
        if (code >= 0xF0 && code <= 0xF4) {
            code &= 0x07;
            more = 3;
            least = 0x10000;
        } else if (code >= 0xE0 && code <= 0xEF) {
            code &= 0x0F;
            more = 2;
            least = 0x800;
        } else if (code >= 0xC2 && code <= 0xDF) {
            code &= 0x1F;
            more = 1;
            least = 0x80;
        } else if (code >= 0x80) {
            return false;
        }
        ++c;
        for (size_t i = 0; i < more; ++i, ++c) {
            if ((*c & 0xC0) != 0x80) {
                return false;
            }
            code = (code << 6) | (*c & 0x3Fu);
        }
        if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
            return false;
        }
        if (code >= 0x10000) {
            if (Out != nullptr) {
                Out[units] = static_cast<WCHAR>(0xD800 + ((code - 0x10000) >> 10));
                Out[units + 1] = static_cast<WCHAR>(0xDC00 + ((code - 0x10000) & 0x3FF));
            }
            units += 2;
        } else {
            if (Out != nullptr) {
                Out[units] = static_cast<WCHAR>(code);
            }
            ++units;
        }
    }
    *Units = units;
    return true;
}

DWORD Utf8FromUtf16(const WCHAR* Text, char (&Out)[PATH_CAP])
{
    size_t length = 0;
    auto put = [&](unsigned int byte) {
        if (length + 1 >= PATH_CAP) {
            return false;
        }
        Out[length++] = static_cast<char>(byte);
        return true;
    };
    for (size_t i = 0; Text[i] != 0; ++i) {
        const unsigned int unit = Text[i];
        unsigned int code = unit;
        if (unit >= 0xD800 && unit <= 0xDBFF) {
            const unsigned int low = Text[i + 1];
            if (low < 0xDC00 || low > 0xDFFF) {
                return ERROR_INVALID_NAME;
            }
            code = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
            ++i;
        } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
            return ERROR_INVALID_NAME;
        }
        bool fits = true;
        if (code < 0x80) {
            fits = put(code);
        } else if (code < 0x800) {
            fits = put(0xC0 | (code >> 6)) && put(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            fits = put(0xE0 | (code >> 12)) && put(0x80 | ((code >> 6) & 0x3F)) &&
                   put(0x80 | (code & 0x3F));
        } else {
            fits = put(0xF0 | (code >> 18)) && put(0x80 | ((code >> 12) & 0x3F)) &&
                   put(0x80 | ((code >> 6) & 0x3F)) && put(0x80 | (code & 0x3F));
        }
        if (!fits) {
            return ERROR_FILENAME_EXCED_RANGE;
        }
    }
    Out[length] = 0;
    return ERROR_SUCCESS;
}
