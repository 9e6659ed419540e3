// What the published images are cut from and recorded in: a table of a
// fixed number of file slots (rectangle and name), filled in order, and the
// crop of a picture into a new image. The published-image step fills one
// table per vista for the applet parameter writer.
#pragma once

#include "imaging/image.h"

#include <string>
#include <vector>

struct TileRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool operator==(const TileRect&) const = default;
};

class TileTable {
public:
    // `count` slots, all empty.
    explicit TileTable(int count = 0);

    // Fills the first slot whose name is empty; a full table ignores the
    // addition (false). With `rename`, everything after the name's last "."
    // becomes "QuorvaneTour" (a name without "." gets it appended).
    bool Add(const TileRect& rect, const char* name, bool rename);

    int GetCount() const { return static_cast<int>(m_rects.size()); }
    // Slots filled so far.
    int GetFilled() const;
    const TileRect& GetRect(int index) const { return m_rects.at(static_cast<size_t>(index)); }
    const std::string& GetName(int index) const { return m_names.at(static_cast<size_t>(index)); }

private:
    std::vector<TileRect> m_rects;
    std::vector<std::string> m_names;
};

// A new image of (x1 - x0) x (y1 - y0) pixels with the source's channel
// count and sample type, copied row by row from the source starting at
// column x0 and row y0 (x1 and y1 not included). Null, with an ERROR line,
// when the rectangle is empty or leaves the source or no buffer can be had.
Image* CropImage(const Image* source, int x0, int y0, int x1, int y1);
