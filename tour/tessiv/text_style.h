// The text style of a tour title or label: the words, font face, size and
// style, colours, opacity, transparency, shown flag and alignment. The tour
// project keeps its title and its viewer label in one each, the tour map
// three, hot spots and vistas one on demand; the configuration file stores
// them as records, and the parameter writers turn them into viewer values.
#pragma once

#include "core/win_types.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace tessiv {
class ConfigReader;
class ConfigWriter;
}  // namespace tessiv

class TextStyle {
public:
    static constexpr const char* kDefaultFace = "MS Serif";
    static constexpr int kDefaultSize = 200;  // twentieths of a point: 10 points
    // Style bits.
    static constexpr int kBold = 1;
    static constexpr int kItalic = 2;
    // Flag bits: bit 0 shown, bits 1-2 the alignment value 0, 2 or 4.
    static constexpr int kShownFlag = 1;
    static constexpr int kAlignMask = 6;
    // The record without texts: colours, size, style, flags, opacity, the two
    // text lengths and the transparency.
    static constexpr size_t kRecordFixedSize = 23;

    TextStyle() = default;

    // Every setter reports whether a value changed. Texts are compared
    // exactly; an empty text is stored as "no text".
    bool SetText(const char* text);
    const char* GetText() const { return m_text.empty() ? nullptr : m_text.c_str(); }
    bool HasText() const { return !m_text.empty(); }

    // Face, size (twentieths of a point) and style bits in one operation; a
    // change of any of the three counts.
    bool SetFace(const char* face, int size, int style);
    const char* GetFaceName() const { return m_face.empty() ? nullptr : m_face.c_str(); }
    int GetSize() const { return m_size; }
    int GetStyle() const { return m_style; }
    bool IsBold() const { return (m_style & kBold) != 0; }
    bool IsItalic() const { return (m_style & kItalic) != 0; }

    bool SetTextColor(COLORREF color);
    COLORREF GetTextColor() const { return m_textColor; }
    bool SetBgColor(COLORREF color);
    COLORREF GetBgColor() const { return m_bgColor; }

    bool SetTransparency(int value);  // kept as a 16-bit value
    int GetTransparency() const { return m_transparency; }
    bool SetOpacity(int value);       // kept as a byte, 0..255
    int GetOpacity() const { return m_opacity; }
    // The two-state form of the opacity: 100 for true, 0 for false.
    bool SetOpaque(bool opaque) { return SetOpacity(opaque ? 100 : 0); }
    bool IsOpaque() const { return m_opacity == 100; }

    bool SetShown(bool shown);
    bool IsShown() const { return (m_flags & kShownFlag) != 0; }
    // The alignment value in flag bits 1-2: left 0, centre 2, right 4; each
    // setter replaces the others.
    bool SetAlignLeft() { return SetAlignment(0); }
    bool SetAlignCenter() { return SetAlignment(2); }
    bool SetAlignRight() { return SetAlignment(4); }
    int GetAlignment() const { return m_flags & kAlignMask; }
    int GetFlags() const { return m_flags; }

    // Takes face, size, style, colours and opacity from `source` (a source
    // without a face gives the default face at the default size), clears the
    // flags and sets the transparency to 100. The text is not copied.
    void CopyFrom(const TextStyle& source);

    // The configuration-file record: kRecordFixedSize plus, for each text
    // present, its length and its zero.
    size_t GetRecordSize() const;
    void WriteRecord(tessiv::ConfigWriter& out) const;
    // Reads a record (files before version 106 have no transparency). A
    // record without a face leaves no face, size 0 and style 0. False, with
    // the style unchanged, when the record is damaged or cut short.
    bool ReadRecord(tessiv::ConfigReader& in, bool withTransparency);

    bool operator==(const TextStyle& other) const = default;

private:
    bool SetAlignment(int value);

    std::string m_text;
    std::string m_face = kDefaultFace;
    COLORREF m_textColor = 0x000000;
    COLORREF m_bgColor = 0xFFFFFF;
    int16_t m_size = kDefaultSize;
    int16_t m_transparency = 100;
    uint8_t m_style = 0;
    uint8_t m_flags = 0;
    uint8_t m_opacity = 80;
};
