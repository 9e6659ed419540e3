#include "tour/tessiv/flash_params.h"

#include "tour/norvik/tour_norvik.h"
#include "tour/tessiv/tour_project.h"
#include "tour/tessiv/viewer_params.h"

#include <string>

bool FillFlashViewerPrms(const TourProject& project, const PublishSettings& settings, TourNorvik& document)
{
    PublishSettings flash = settings;
    flash.flashViewer = true;
    std::string unused, groups, firstFiles, otherFiles;
    bool ok = WriteViewerPrms(project, flash, unused, &document);
    ok = WriteVistaPrms(project, flash, groups, firstFiles, otherFiles, &document) && ok;
    ok = document.AddListText(kTourListViewer, "preload", (firstFiles + otherFiles).c_str()) && ok;
    return AddTourMovie(project, document) && ok;
}

bool AddTourMovie(const TourProject& project, TourNorvik& document)
{
    return document.AddFirstMovie(1, 1, 1, 1, 1, project.GetStoredFlagC() ? 8000 : 0,
                                  "Playing tour movie. Press F-key (twice initially) for full screen show. Start "
                                  "self-tour anytime with mouse.",
                                  0, "Arial", "false", "false", 28, 0xFFFFFF, 0, 60, 400);
}
