// The viewer's document: one file shown at a time, either a panorama (a
// world map), a plain image or a six-face strip. Pointer files (".qxl")
// name the panorama to show on their first line. It is also the server
// document of the embedded object, whose item has a fixed extent and draws
// nothing.
#pragma once

#include "imaging/image.h"
#include "platform/win/ole_server.h"
#include "worldmap/world_map_base.h"

#include <string>

// What a path's extension makes of it.
enum class VistrelFileKind {
    Pointer,      // "qxl" / "QXL": a text file naming a panorama
    Image,        // a known image extension, or none of three letters
    Unsupported,  // any other three-letter extension
};
VistrelFileKind ClassifyVistrelPath(const char* path);

// The whole first line of a text file, its line break removed (any length).
// False when the file cannot be opened.
bool ReadFirstLine(const char* path, std::string& line);

class CVistrelDoc : public COleServerDoc {
public:
    CVistrelDoc() = default;
    ~CVistrelDoc() override;

    // Failure leaves the document's map and image as they were.
    BOOL OnOpenDocument(const char* path) override;

    WorldMapBase* worldMap = nullptr;  // one reference held
    Image* image = nullptr;            // one reference held
    bool isFaceStrip = false;

protected:
    COleServerItem* OnGetEmbeddedItem() override;

private:
    BOOL OpenPointerFile(const char* path);
    BOOL OpenImageFile(const char* path);
    void ReplaceContents(WorldMapBase* map, Image* newImage, bool faceStrip);
};

// The embedded object's item: 3000 by 3000 units, drawing nothing.
class CVistrelSrvrItem : public COleServerItem {
public:
    explicit CVistrelSrvrItem(CVistrelDoc* document) : COleServerItem(document) {}
    BOOL OnGetExtent(int aspect, CSize& size) override;
    BOOL OnDraw(CDC* dc, CSize& size) override;
};
