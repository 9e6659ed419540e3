// A tour maker that records what the program asks of it.
#pragma once

#include "imaging/image.h"
#include "tour/tessiv/i_tessiv.h"

#include <string>
#include <vector>

struct TessivRecord {
    int opened = 0;
    int closed = 0;
    std::string programDir;
    CWnd* parent = nullptr;
    UINT message = 0;
    struct Vista {
        Image* thumbnail;
        int references;  // the thumbnail's count while the tour maker held it
        int width;
        int height;
        std::string name;
        TessivPanoramaValues values;
    };
    std::vector<Vista> vistas;
};

class TessivDouble : public ITessiv {
public:
    static TessivRecord& Record()
    {
        static TessivRecord record;
        return record;
    }
    static ITessiv* Create() { return new TessivDouble; }

    bool Open(const char* programDir, CWnd* parent, UINT message) override
    {
        ++Record().opened;
        Record().programDir = programDir ? programDir : "";
        Record().parent = parent;
        Record().message = message;
        return true;
    }
    void AddVista(Image* thumbnail, const char* name, const TessivPanoramaValues& values) override
    {
        Record().vistas.push_back({thumbnail, thumbnail ? thumbnail->m_refCount : 0,
                                   thumbnail ? thumbnail->GetWidth() : 0, thumbnail ? thumbnail->GetHeight() : 0,
                                   name ? name : "", values});
    }
    void Close() override
    {
        ++Record().closed;
        delete this;
    }
};
