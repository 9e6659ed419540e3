#include "tour/tessiv/tour_images.h"

#include "core/logger.h"
#include "platform/win/file_system.h"
#include "tour/tessiv/vista.h"
#include "worldmap/image_file.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

// x + 0.5 truncated toward zero.
int Rnd(double x) { return static_cast<int>(x + 0.5); }

int RoundUp(int value, int multiple) { return (value + multiple - 1) / multiple * multiple; }

std::string Suffixed(const std::string& stem, const char* format, int a, int b = 0)
{
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, format, a, b);
    return stem + suffix;
}

// The order in which the bands of one axis are published: from the view's
// band onwards, around the end back to the start (backwards when not
// `forward`).
std::vector<int> CyclicOrder(int count, int first, bool forward)
{
    std::vector<int> order;
    order.reserve(static_cast<size_t>(count));
    for (int k = 0; k < count; ++k)
        order.push_back(forward ? (first + k) % count : (first - k + count) % count);
    return order;
}

// The picture of a vista, colour-adjusted (and, for photographs, turned)
// as the tour shows it. Null when it cannot be read.
RefPtr<Image> LoadVistaPicture(const char* sourceFile, const Vista& vista)
{
    Image* image = nullptr;
    const std::string path = win::ResolvePath(sourceFile ? sourceFile : "");
    const int result = LoadImageWMap(path.c_str(), &image, nullptr, true);
    RefPtr<Image> picture = RefPtr<Image>::adopt(image);
    if ((result != IMGFILE_PLAIN && result != IMGFILE_WMAP) || !picture) {
        Logger::log("ERROR MakeVistaImages: cannot read %s (%d)", 1, sourceFile ? sourceFile : "(null)", result);
        return {};
    }
    if (vista.IsPhotograph() && !vista.ApplyQuarterTurns(picture.get())) {
        Logger::log("ERROR MakeVistaImages: cannot turn %s", 1, sourceFile);
        return {};
    }
    vista.MapImageInPlace(picture.get());
    return picture;
}

// Replaces `picture` by its zoom; its size comes back in width and height.
bool Zoom(RefPtr<Image>& picture, float zoom, int& width, int& height)
{
    RefPtr<Image> zoomed = RefPtr<Image>::adopt(picture->ZoomImage(0, 0, width, height, zoom, zoom));
    if (!zoomed) return false;
    picture = zoomed;
    width = picture->GetWidth();
    height = picture->GetHeight();
    return true;
}

// A file the viewer will ask for must exist: a save that failed fails the
// vista, so that the publisher reports it instead of a tour with holes.
bool Save(Image* image, const std::string& path, const WMapRecord* descriptor, int quality)
{
    const int result = image ? SaveTourImage(image, path.c_str(), descriptor, quality) : -1;
    if (result != 0) Logger::log("ERROR MakeVistaImages: cannot save %s (%d)", 1, path.c_str(), result);
    return result == 0;
}

// Cuts the tile out of `picture`, saves it and lets it go before the next.
bool SaveTile(const Image& picture, const TileRect& r, const std::string& path, int quality)
{
    RefPtr<Image> tile = RefPtr<Image>::adopt(CropImage(&picture, r.x, r.y, r.x + r.width, r.y + r.height));
    return Save(tile.get(), path, nullptr, quality);
}

bool SaveTiles(const Image& picture, const std::vector<TileRect>& tiles, const std::string& stem, int quality)
{
    for (size_t n = 0; n < tiles.size(); ++n)
        if (!SaveTile(picture, tiles[n], Suffixed(stem, "_s%d.jpg", static_cast<int>(n)), quality)) return false;
    return true;
}

bool SaveZoomed(const Image& picture, float zoom, const std::string& path, const WMapRecord* descriptor, int quality)
{
    RefPtr<Image> small =
        RefPtr<Image>::adopt(picture.ZoomImage(0, 0, picture.GetWidth(), picture.GetHeight(), zoom, zoom));
    return Save(small.get(), path, descriptor, quality);
}

SaveTourImageHook g_saveHook = nullptr;

}  // namespace

TourImageSizes TourImageSizes::Compute(int fieldOfView, bool flashViewer, int pageWidth)
{
    TourImageSizes sizes;
    sizes.viewAngle = std::clamp(static_cast<double>(fieldOfView), 30.0, 120.0);
    sizes.referenceWidth = flashViewer ? 1600 : pageWidth;
    sizes.panoramaWidthLimit = static_cast<int>(sizes.referenceWidth * 360 / sizes.viewAngle);
    sizes.pictureWidthLimit = 2 * sizes.referenceWidth;
    sizes.pixelBudget = flashViewer ? 20000000 : 10000000;
    return sizes;
}

std::vector<TileBand> LayTileBands(int length, int centre, int tile, int half, int& viewIndex)
{
    const int start = std::clamp(centre - half, 0, std::max(0, length - 1));
    std::vector<TileBand> down;
    int y = start;
    while (y + tile <= length) {
        down.push_back({y, y + tile});
        y += tile;
    }
    const int restBelow = length - y;
    if (down.empty()) {
        down.push_back({start, length});
    } else if (restBelow > 0) {
        if (restBelow < half / 2) down.back().end = length;
        else down.push_back({y, length});
    }

    std::vector<TileBand> up;  // nearest the view first
    y = start;
    while (y >= tile) {
        up.push_back({y - tile, y});
        y -= tile;
    }
    if (y > 0) {
        if (y < half / 2) (up.empty() ? down.front() : up.back()).start = 0;
        else up.push_back({0, y});
    }

    std::vector<TileBand> bands(up.rbegin(), up.rend());
    viewIndex = static_cast<int>(bands.size());
    bands.insert(bands.end(), down.begin(), down.end());
    return bands;
}

SaveTourImageHook SetSaveTourImageHook(SaveTourImageHook hook)
{
    const SaveTourImageHook previous = g_saveHook;
    g_saveHook = hook;
    return previous;
}

int SaveTourImage(Image* image, const char* path, const WMapRecord* descriptor, int quality)
{
    if (!image || !path) return 1;
    if (g_saveHook) {
        if (const int result = g_saveHook(path); result != 0) return result;
    }
    const std::string file = win::ResolvePath(path);
    FileExtraData extra;
    if (descriptor) {
        extra.length = WMapRecord::kLongSize;
        descriptor->Write(extra.bytes);
    }
    QUORVANE_FileInfo info;
    info.path = file.c_str();
    info.options = quality;
    info.extra = descriptor ? &extra : nullptr;
    const char* dot = std::strrchr(path, '.');
    if (dot && (std::strcmp(dot + 1, "GIF") == 0 || std::strcmp(dot + 1, "gif") == 0))
        return SaveGIF(image, nullptr, &info);
    return SaveJpeg(image, nullptr, &info);
}

bool PanoramaTiles(const char* sourceFile, const std::string& stem, double horizontalAngle, double verticalAngle,
                   int widthLimit, int64_t pixelBudget, int quality, const Vista& vista, bool rightward,
                   VistaImageSet* sizesOnly)
{
    RefPtr<Image> picture;
    int W = vista.GetWidth(), H = vista.GetHeight();
    if (!sizesOnly) {
        picture = LoadVistaPicture(sourceFile, vista);
        if (!picture) return false;
        W = picture->GetWidth();
        H = picture->GetHeight();
    }
    int E = vista.GetEquatorWidth(), column = vista.GetColumn(), row = vista.GetRow();
    // The scale divides by E and by E - 1, and the viewer places the picture
    // in its map by column and row: a descriptor that cannot do either is
    // published as a flat picture, as the viewer parameters treat it.
    if (E < 4 || column < 0 || column >= E || row < 0 || row >= E / 2) {
        Logger::log("ERROR PanoramaTiles: unusable panorama descriptor of %s (equator %d, column %d, row %d), "
                    "published as a flat picture",
                    1, sourceFile ? sourceFile : "", E, column, row);
        return PictureTiles(sourceFile, stem, widthLimit, pixelBudget, quality, vista, sizesOnly);
    }
    if (W < 1 || H < 1 || widthLimit < 1 || pixelBudget < 1) {
        Logger::log("ERROR PanoramaTiles: unusable panorama %s (%d x %d of %d)", 1, sourceFile ? sourceFile : "", W,
                    H, E);
        return false;
    }

    // Scale: the equator width to a multiple of 12 within the width limit,
    // the picture within the pixel budget.
    double zoom = 1.0;
    int scaledE = E;
    const double pixels = static_cast<double>(W) * H;
    if (E <= widthLimit && pixels <= static_cast<double>(pixelBudget)) {
        if (E % 12 != 0) {
            scaledE = RoundUp(E, 12);
            zoom = (scaledE - 1.0) / (E - 1.0);
        }
    } else {
        auto scaleBy = [&](double s) {
            scaledE = std::max(12, RoundUp(Rnd(E * s), 12));
            zoom = static_cast<double>(scaledE) / E;
        };
        double s = static_cast<double>(widthLimit) / E;
        scaleBy(s);
        const double count = std::trunc(pixels * zoom * zoom);
        if (count > static_cast<double>(pixelBudget)) {
            s *= std::sqrt(static_cast<double>(pixelBudget) / count);
            scaleBy(s);
        }
    }
    const float zoomF = static_cast<float>(zoom);
    if (zoomF != 1.0f) {
        if (picture) {
            if (!Zoom(picture, zoomF, W, H)) return false;
        } else {
            W = Rnd(W * static_cast<double>(zoomF));
            H = Rnd(H * static_cast<double>(zoomF));
        }
        column = Rnd(column * static_cast<double>(zoomF));
        row = Rnd(row * static_cast<double>(zoomF));
    }
    E = scaledE;

    // Tiles of about the view's size around the initial view.
    const double pan = std::clamp(static_cast<double>(vista.GetInitialViewH()), -1.0, 1.0);
    const double tilt = std::clamp(static_cast<double>(vista.GetInitialViewV()), -1.0, 1.0);
    const int cx = Rnd((pan + 1.0) * 0.5 * W);
    const int cy = Rnd((tilt + 1.0) * 0.5 * H);
    int hw = static_cast<int>(E * horizontalAngle / 720);
    int hh = static_cast<int>(E * verticalAngle / 720);
    if (hh < 150) hh = 2 * hh < H ? 150 : H / 2;
    if (hw < 200) hw = 2 * hw < W ? 200 : W / 2;
    const int tileW = std::max(8, RoundUp(2 * hw, 8));
    const int tileH = std::max(8, RoundUp(2 * hh, 8));
    hw = tileW / 2;
    hh = tileH / 2;
    int viewRow = 0, viewColumn = 0;
    const std::vector<TileBand> rows = LayTileBands(H, cy, tileH, hh, viewRow);
    const std::vector<TileBand> columns = LayTileBands(W, cx, tileW, hw, viewColumn);

    std::vector<TileRect> tiles;
    for (int r : CyclicOrder(static_cast<int>(rows.size()), viewRow, true))
        for (int c : CyclicOrder(static_cast<int>(columns.size()), viewColumn, rightward))
            tiles.push_back({columns[c].start, rows[r].start, columns[c].end - columns[c].start,
                             rows[r].end - rows[r].start});

    const std::string preview = Suffixed(stem, "_d%d%d.jpg", 3, 3);
    if (sizesOnly) {
        sizesOnly->width = W;
        sizesOnly->height = H;
        sizesOnly->equatorWidth = E;
        sizesOnly->column = column;
        sizesOnly->row = row;
        sizesOnly->kind = vista.GetKind();
        sizesOnly->files = TileTable(static_cast<int>(tiles.size()) + 1);
        sizesOnly->files.Add({0, 0, W, H}, preview.c_str(), false);
        for (size_t n = 0; n < tiles.size(); ++n)
            sizesOnly->files.Add(tiles[n], Suffixed(stem, "_s%d.jpg", static_cast<int>(n)).c_str(), false);
        return true;
    }

    // The one-third preview carries the panorama descriptor of its own scale.
    WMapRecord descriptor;
    descriptor.equatorWidth = E / 3;
    descriptor.column = Rnd(column / 3.0);
    descriptor.row = Rnd(row / 3.0);
    descriptor.mapType = 2;
    descriptor.fullCircle = vista.IsFullCircle() ? 1 : 0;
    return SaveZoomed(*picture, 1.0f / 3.0f, preview, &descriptor, quality) && SaveTiles(*picture, tiles, stem, quality);
}

bool PictureTiles(const char* sourceFile, const std::string& stem, int widthLimit, int64_t pixelBudget, int quality,
                  const Vista& vista, VistaImageSet* sizesOnly)
{
    RefPtr<Image> picture;
    int W = vista.GetWidth(), H = vista.GetHeight();
    if (!sizesOnly) {
        picture = LoadVistaPicture(sourceFile, vista);
        if (!picture) return false;
        W = picture->GetWidth();
        H = picture->GetHeight();
    }
    if (W < 1 || H < 1 || widthLimit < 1 || pixelBudget < 1) {
        Logger::log("ERROR PictureTiles: unusable picture %s (%d x %d)", 1, sourceFile ? sourceFile : "", W, H);
        return false;
    }

    // Only a picture wider than the limit is scaled, whatever its pixels.
    if (W > widthLimit) {
        double s = static_cast<double>(widthLimit) / W;
        const double count = std::trunc(static_cast<double>(W) * H * s * s);
        if (count > static_cast<double>(pixelBudget)) s *= std::sqrt(static_cast<double>(pixelBudget) / count);
        const float scale = static_cast<float>(s);
        if (picture) {
            if (!Zoom(picture, scale, W, H)) return false;
        } else {
            W = Rnd(W * static_cast<double>(scale));
            H = Rnd(H * static_cast<double>(scale));
        }
    }

    // A side longer than 1000 pixels is cut in two halves.
    std::vector<TileBand> columns{{0, W}}, rows{{0, H}};
    if (W > 1000) columns = {{0, W / 2}, {W / 2, W}};
    if (H > 1000) rows = {{0, H / 2}, {H / 2, H}};
    std::vector<TileRect> tiles;
    for (const TileBand& r : rows)
        for (const TileBand& c : columns) tiles.push_back({c.start, r.start, c.end - c.start, r.end - r.start});

    const std::string whole = tiles.size() == 1 ? stem + ".jpg" : Suffixed(stem, "_d%d%d.jpg", 2, 2);
    if (sizesOnly) {
        sizesOnly->width = W;
        sizesOnly->height = H;
        sizesOnly->equatorWidth = vista.GetEquatorWidth();
        sizesOnly->column = vista.GetColumn();
        sizesOnly->row = vista.GetRow();
        sizesOnly->kind = vista.GetKind();
        sizesOnly->files = TileTable(tiles.size() == 1 ? 1 : static_cast<int>(tiles.size()) + 1);
        sizesOnly->files.Add({0, 0, W, H}, whole.c_str(), false);
        if (tiles.size() > 1)
            for (size_t n = 0; n < tiles.size(); ++n)
                sizesOnly->files.Add(tiles[n], Suffixed(stem, "_s%d.jpg", static_cast<int>(n)).c_str(), false);
        return true;
    }

    if (tiles.size() == 1) return Save(picture.get(), whole, nullptr, quality);
    return SaveZoomed(*picture, 0.5f, whole, nullptr, quality) && SaveTiles(*picture, tiles, stem, quality);
}

bool MakeVistaImages(const char* sourceFile, const char* publishedPath, double horizontalAngle, double verticalAngle,
                     int widthLimit, int64_t pixelBudget, int quality, const Vista* vista, bool rightward,
                     VistaImageSet* sizesOnly)
{
    if (sizesOnly) *sizesOnly = VistaImageSet();
    if (!vista || !publishedPath || std::strlen(publishedPath) <= 4) {
        Logger::log("ERROR MakeVistaImages: no vista or published path", 1);
        return false;
    }
    if (sizesOnly) sizesOnly->kind = vista->GetKind();
    // The published path less its extension with the dot.
    const std::string stem(publishedPath, std::strlen(publishedPath) - 4);
    switch (vista->GetKind()) {
    case 2:
        return PanoramaTiles(sourceFile, stem, horizontalAngle, verticalAngle, widthLimit, pixelBudget, quality,
                             *vista, rightward, sizesOnly);
    case 1:
    case 4:
        return PictureTiles(sourceFile, stem, widthLimit, pixelBudget, quality, *vista, sizesOnly);
    default:
        return false;  // kind 3 publishes no image
    }
}
