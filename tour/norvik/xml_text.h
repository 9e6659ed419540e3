// Texts and names on their way into a Norvik document. Everything the tour
// tree and the Flash messages write passes through here, so that a document
// stays well-formed XML whatever bytes a caller hands over.
#pragma once

#include <string>

namespace norvik {

// The character data for `text` (null is the empty text): valid UTF-8 passes
// unchanged; control characters that XML 1.0 cannot carry (below 0x20 other
// than tab, line feed and carriage return) and the non-characters U+FFFE and
// U+FFFF are dropped; any other byte that is not part of a valid UTF-8
// sequence is taken as Windows-1252, the code page the suite's texts were
// written in on its first platform, and re-encoded as UTF-8.
std::string XmlCharacterData(const char* text);

// True for a usable element or attribute name: not empty, a letter, "_",
// ":" or a non-ASCII byte first, then also digits, "-" and ".". TinyXML
// prints names as they are, so anything else would break the document.
bool IsXmlName(const char* name);

}  // namespace norvik
