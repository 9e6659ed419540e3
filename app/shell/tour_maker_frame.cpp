// The main frame's tour maker comes from the Tessiv library.
#include "app/shell/main_frame.h"

#include "tour/tessiv/i_tessiv.h"

void CMainFrame::UseTourMakerLibrary()
{
    SetTessivFactory(&CreateTessiv);
}
