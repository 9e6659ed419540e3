// Row conversions of the blits' direct path: 24-bit B, G, R source pixels
// into a 32-bit B, G, R, unused target, the unused byte left as it was.
// SSSE3 where the processor has it; the plain loop is the reference.
#pragma once

#include <cstddef>

namespace win {

void CopyBgrToBgrx(const unsigned char* from, unsigned char* to, size_t pixels);
void CopyBgrToBgrxPlain(const unsigned char* from, unsigned char* to, size_t pixels);

}  // namespace win
