// Movable global memory blocks (the currency of the clipboard and of drag
// and drop) and the in-process clipboard with its formats (CF_TEXT, CF_DIB
// ...). Any thread may use them; a block given to the clipboard belongs to
// it until the clipboard is emptied.
#pragma once

#include "platform/win/win_defs.h"

#include <cstddef>

HGLOBAL GlobalAlloc(UINT flags, size_t bytes);
void* GlobalLock(HGLOBAL block);
BOOL GlobalUnlock(HGLOBAL block);
// Null on success, the block itself on failure.
HGLOBAL GlobalFree(HGLOBAL block);
size_t GlobalSize(HGLOBAL block);

// Fails while another window holds the clipboard open.
BOOL OpenClipboard(HWND owner);
BOOL CloseClipboard();
// Frees every block the clipboard holds (the clipboard must be open).
BOOL EmptyClipboard();
// The clipboard takes the block; returns it, or null when not open.
HANDLE SetClipboardData(UINT format, HGLOBAL block);
// The clipboard's own block (valid until it is emptied); null without one
// or when the clipboard is not open.
HGLOBAL GetClipboardData(UINT format);
BOOL IsClipboardFormatAvailable(UINT format);
UINT RegisterClipboardFormat(const char* name);

namespace win {
// A copy of a block (drag-and-drop data handed to a target).
HGLOBAL CopyGlobal(HGLOBAL block);
// Number of blocks not freed (tests check for leaks).
size_t LiveGlobalCount();
// Empties and closes the clipboard and frees every block (between tests).
void ResetClipboard();
}  // namespace win
