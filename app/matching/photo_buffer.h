// Pixel buffers for whole photographs that are written from start to end
// right after they are allocated (a reduction, a lens correction). They are
// not zero-filled: the writer fills every byte. A large buffer is aligned to
// 2 MiB and asked to be backed by huge pages, so that its first touch costs
// a few dozen page faults instead of one per 4 KiB; on this kind of buffer
// the faults, not the arithmetic, were most of the time.
#pragma once

#include <cstddef>

// Null when the memory is not there. Release with std::free (an Image holding
// it is told fromMalloc) or hand it to RecyclePhotoBuffer. The buffer may be
// one handed back earlier: its bytes are then whatever was left in it.
unsigned char* AllocatePhotoBuffer(size_t bytes);

// Takes back a buffer that std::free would release (from malloc or from
// AllocatePhotoBuffer) and that holds at least `bytes`. One large buffer is
// kept for the next allocation of about its size, whose pages are then
// already there: when an image whose pixels a correction made is corrected
// again (a preview redone, a second pass), the next correction of that size
// writes into the buffer read the time before instead of faulting in fresh,
// zeroed pages. Buffers from new[] (decoded photographs) never come here.
// Any other buffer, and the one kept before, is freed; so is the kept one at
// the next large allocation it does not fit, so it is held no longer than
// that.
void RecyclePhotoBuffer(unsigned char* data, size_t bytes);
