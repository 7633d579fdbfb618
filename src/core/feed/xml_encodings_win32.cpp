#include <windows.h>

#include <libxml/encoding.h>

#include <algorithm>

#include "core/feed/xml_encodings.h"
#include "core/text/cp932.h"

namespace velmora {
namespace {

constexpr UINT kCp932 = 932;
constexpr UINT kEucJp = 20932;

// Length of the character starting with `lead`.
int CharLength(UINT codePage, unsigned char lead) {
    if (codePage == kCp932) return text::IsLeadByte(lead) ? 2 : 1;
    if (lead == 0x8F) return 3;  // JIS X 0212
    return lead == 0x8E || (lead >= 0xA1 && lead <= 0xFE) ? 2 : 1;
}

// libxml2's input conversion: as many whole characters of `in` as fit `out`
// as UTF-8; a character cut off by the end of the chunk waits for the next one.
template <UINT CodePage>
int Decode(unsigned char* out, int* outLength, const unsigned char* in, int* inLength) {
    // Every character of these code pages is at most three bytes of UTF-8,
    // and takes at least one byte.
    const int budget = std::min(*inLength, *outLength / 3);
    int take = 0;
    while (take < budget) {
        const int n = CharLength(CodePage, in[take]);
        if (take + n > budget) break;
        take += n;
    }
    int produced = 0;
    if (take > 0) {
        wchar_t wide[1024];
        int done = 0;
        while (done < take) {
            // Chunks of whole characters that fit the wide buffer.
            int chunk = 0;
            while (done + chunk < take && chunk < 1000)
                chunk += CharLength(CodePage, in[done + chunk]);
            const int w =
                MultiByteToWideChar(CodePage, MB_ERR_INVALID_CHARS,
                                    reinterpret_cast<const char*>(in + done), chunk, wide, 1024);
            if (w <= 0) {
                *inLength = done;
                *outLength = produced;
                return -2;  // not of this encoding: the document is refused
            }
            const int u =
                WideCharToMultiByte(CP_UTF8, 0, wide, w, reinterpret_cast<char*>(out + produced),
                                    *outLength - produced, nullptr, nullptr);
            if (u <= 0) {
                *inLength = done;
                *outLength = produced;
                return -2;
            }
            produced += u;
            done += chunk;
        }
    }
    *inLength = take;
    *outLength = produced;
    return produced;
}

}  // namespace

void RegisterXmlEncodings() {
    static const bool registered = [] {
        xmlInitParser();
        // libxml2 keeps the handlers (by their upper-case names) for the process.
        for (const char* name : {"CP932", "SHIFT_JIS", "WINDOWS-31J"})
            xmlNewCharEncodingHandler(name, &Decode<kCp932>, nullptr);
        xmlNewCharEncodingHandler("EUC-JP", &Decode<kEucJp>, nullptr);
        return true;
    }();
    (void)registered;
}

}  // namespace velmora
