#include "jpeg/jpeg_huffman_encoder.h"

#include <cstring>

bool BuildOptimalHuffmanTable(const uint32_t freqIn[256], HuffmanTableDef& def)
{
    def = HuffmanTableDef();
    // Figure K.1 with symbol 256 reserved (frequency 1) so that no real
    // symbol gets the all-ones code.
    uint64_t freq[257];
    int codeSize[257];
    int others[257];
    bool any = false;
    for (int i = 0; i < 256; ++i) {
        freq[i] = freqIn[i];
        any = any || freqIn[i] != 0;
    }
    if (!any) return false;
    freq[256] = 1;
    for (int i = 0; i < 257; ++i) {
        codeSize[i] = 0;
        others[i] = -1;
    }
    for (;;) {
        // The two least frequent; among equals the larger symbol number.
        int c1 = -1, c2 = -1;
        uint64_t v = UINT64_MAX;
        for (int i = 0; i < 257; ++i)
            if (freq[i] && freq[i] <= v) {
                v = freq[i];
                c1 = i;
            }
        v = UINT64_MAX;
        for (int i = 0; i < 257; ++i)
            if (freq[i] && freq[i] <= v && i != c1) {
                v = freq[i];
                c2 = i;
            }
        if (c2 < 0) break;
        freq[c1] += freq[c2];
        freq[c2] = 0;
        ++codeSize[c1];
        while (others[c1] >= 0) {
            c1 = others[c1];
            ++codeSize[c1];
        }
        others[c1] = c2;
        ++codeSize[c2];
        while (others[c2] >= 0) {
            c2 = others[c2];
            ++codeSize[c2];
        }
    }
    // Figure K.2: codes per length (up to 256 for a degenerate tree).
    int bits[258] = {};
    for (int i = 0; i < 257; ++i)
        if (codeSize[i]) ++bits[codeSize[i]];
    // Figure K.3: no code longer than 16 bits.
    for (int i = 257; i > 16; --i) {
        while (bits[i] > 0) {
            int j = i - 2;
            while (bits[j] == 0) --j;
            bits[i] -= 2;
            bits[i - 1] += 1;
            bits[j + 1] += 2;
            bits[j] -= 1;
        }
    }
    // Drop the reserved code from the longest length.
    int longest = 16;
    while (bits[longest] == 0) --longest;
    --bits[longest];
    for (int i = 1; i <= 16; ++i) def.counts[i - 1] = static_cast<uint8_t>(bits[i]);
    // Figure K.4: symbols by code length, ascending within a length.
    int p = 0;
    for (int len = 1; len <= 256; ++len)
        for (int s = 0; s < 256; ++s)
            if (codeSize[s] == len) def.symbols[p++] = static_cast<uint8_t>(s);
    def.symbolCount = p;
    return true;
}

void HuffmanEncodeTable::Build(const HuffmanTableDef& def)
{
    std::memset(code, 0, sizeof code);
    std::memset(size, 0, sizeof size);
    uint32_t next = 0;
    int k = 0;
    for (int len = 1; len <= 16; ++len) {
        for (int i = 0; i < def.counts[len - 1]; ++i, ++k) {
            code[def.symbols[k]] = static_cast<uint16_t>(next++);
            size[def.symbols[k]] = static_cast<uint8_t>(len);
        }
        next <<= 1;
    }
}
