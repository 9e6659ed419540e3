// Pixel buffers for whole photographs that are written from start to end
// right after they are allocated (a reduction, a lens correction). They are
// not zero-filled: the writer fills every byte. A large buffer is aligned to
// 2 MiB and asked to be backed by huge pages, so that its first touch costs
// a few dozen page faults instead of one per 4 KiB; on this kind of buffer
// the faults, not the arithmetic, were most of the time.
#pragma once

#include <cstddef>

// Null when the memory is not there. Release with std::free (an Image holding
// it is told fromMalloc).
unsigned char* AllocatePhotoBuffer(size_t bytes);
