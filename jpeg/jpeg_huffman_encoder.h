// Huffman tables of the JPEG encoder: symbol statistics, the optimal code
// lengths of ITU T.81 Annex K.2 (limited to 16 bits, the all-ones code kept
// free), and the codes of Annex C for writing.
#pragma once

#include <cstdint>

struct HuffmanTableDef {
    uint8_t counts[16] = {};  // codes of length 1..16
    uint8_t symbols[256] = {};
    int symbolCount = 0;
};

// Optimal table for symbol frequencies `freq` (256 entries); false when no
// symbol occurs.
bool BuildOptimalHuffmanTable(const uint32_t freq[256], HuffmanTableDef& def);

struct HuffmanEncodeTable {
    uint16_t code[256] = {};
    uint8_t size[256] = {};  // 0 for a symbol without a code
    void Build(const HuffmanTableDef& def);
};
