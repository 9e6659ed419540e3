#include "tour/tessiv/tour_map_settings.h"

#include "tour/tessiv/tour_project.h"
#include "tour/tessiv/vista.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <numbers>

namespace {

using ImagePtr = RefPtr<Image>;

TEST(TourMapSettings, DefaultsAndReset)
{
    TourMapSettings m;
    EXPECT_EQ(m.GetFlags(), 0x480);
    EXPECT_EQ(m.GetMapBgColor(), 0xFF0080u);
    EXPECT_EQ(m.GetWidth(), 256);
    EXPECT_EQ(m.GetHeight(), 256);
    EXPECT_EQ(m.GetCompassIconColor(0), 0xFF0000u);
    EXPECT_EQ(m.GetCompassIconColor(1), 0x0000FFu);
    EXPECT_EQ(m.GetCompassIconColor(2), 0x00FF00u);
    EXPECT_EQ(m.GetScanBeamColor(), 0xFF8080u);
    EXPECT_EQ(m.GetScanBeamLineColor(), 0x0000FFu);
    EXPECT_EQ(m.GetScanBeamLength(), 100);
    EXPECT_EQ(m.GetScanBeamTransparency(), 50);
    EXPECT_EQ(m.GetCompassIconTransparency(), 50);
    EXPECT_EQ(m.GetVistaLabelStyle(0).GetTextColor(), 0xFF0000u);
    EXPECT_EQ(m.GetVistaLabelStyle(0).GetBgColor(), 0xFFFFE0u);
    EXPECT_EQ(m.GetVistaLabelStyle(1).GetBgColor(), 0xFFE0FFu);
    EXPECT_EQ(m.GetVistaLabelStyle(2).GetBgColor(), 0xE0FFFFu);
    EXPECT_TRUE(m.GetShownFlag());
    EXPECT_FALSE(m.IsShown());  // no map with a picture
    EXPECT_EQ(m.GetRecordSize(false), 14u * 4 + 3 * 32);  // 14 words and three default styles

    m.SetScanBeamLength(5);
    m.AddMap();
    m.GetVistaLabelStyle(1).SetText("x");
    m.Reset();
    EXPECT_EQ(m.GetScanBeamLength(), 100);
    EXPECT_EQ(m.GetMapCount(), 0);
    EXPECT_EQ(m.GetVistaLabelStyle(1).GetText(), nullptr);
}

// Every setter reports the change once and marks it in flag bit 6.
TEST(TourMapSettings, SettersReportAndFlagChanges)
{
    const std::vector<std::function<bool(TourMapSettings&)>> setters = {
        [](TourMapSettings& m) { return m.SetMapBgColor(1); },
        [](TourMapSettings& m) { return m.SetSize(300, 200); },
        [](TourMapSettings& m) { return m.SetPosition(5, 6); },
        [](TourMapSettings& m) { return m.SetCompassIconColor(2, 7); },
        [](TourMapSettings& m) { return m.SetScanBeamColor(8); },
        [](TourMapSettings& m) { return m.SetScanBeamLineColor(9); },
        [](TourMapSettings& m) { return m.SetScanBeamLength(0); },
        [](TourMapSettings& m) { return m.SetScanBeamTransparency(1); },
        [](TourMapSettings& m) { return m.SetCompassIconTransparency(2); },
        [](TourMapSettings& m) { return m.SetDockSide(2); },
        [](TourMapSettings& m) { return m.SetShowVistaLabel(3); },
        [](TourMapSettings& m) { return m.SetSwitch(1, true); },
        [](TourMapSettings& m) { return m.SetShownFlag(false); },
    };
    for (size_t i = 0; i < setters.size(); ++i) {
        TourMapSettings m;
        ASSERT_EQ(m.GetFlags() & TourMapSettings::kChangedFlag, 0);
        EXPECT_TRUE(setters[i](m)) << i;
        EXPECT_NE(m.GetFlags() & TourMapSettings::kChangedFlag, 0) << i;
        EXPECT_FALSE(setters[i](m)) << i;
    }
    TourMapSettings m;
    m.SetDockSide(3);
    m.SetShowVistaLabel(2);
    m.SetSwitch(2, true);
    EXPECT_EQ(m.GetDockSide(), 3);
    EXPECT_EQ(m.GetShowVistaLabel(), 2);
    EXPECT_TRUE(m.GetSwitch(2));
    EXPECT_TRUE(m.GetSwitch(0));  // bit 7 of the default flags
    EXPECT_FALSE(m.GetSwitch(1));
}

TEST(TourMapSettings, MapsAndTheCurrentMap)
{
    TourMapSettings m;
    std::string label = "unset";
    int w = -1, h = -1, x = -1, y = -1;
    // Without maps every current-map operation does nothing.
    EXPECT_EQ(m.GetCurrentMapLabel(), "");
    EXPECT_FALSE(m.GetCurrentMapImageSize(w, h));
    EXPECT_EQ(m.GetCurrentMapZoom(), 0.0f);
    EXPECT_FALSE(m.GetCurrentMapCentre(x, y));
    EXPECT_EQ(m.GetCompassCount(), 0);
    EXPECT_EQ(m.FindCompass(nullptr), nullptr);

    EXPECT_EQ(m.AddMap(), 0);
    EXPECT_EQ(m.AddMap(), 0);  // the map without a picture is reused
    ImagePtr picture = ImagePtr::adopt(new Image(40, 30, 3));
    m.GetMap(0)->SetImage(picture.get());
    EXPECT_EQ(m.AddMap(), 1);
    EXPECT_EQ(m.GetValidMapCount(), 1);
    EXPECT_TRUE(m.IsShown());
    EXPECT_TRUE(m.GetCurrentMapImageSize(w, h));
    EXPECT_EQ(w, 40);
    EXPECT_EQ(h, 30);
    EXPECT_EQ(m.GetCurrentMapLabel(), "TourMap");
    m.GetMap(0)->SetImageFile("C:\\maps\\floor.png");
    EXPECT_EQ(m.GetCurrentMapLabel(), "floor.png");
    m.GetMap(0)->SetLabel("Ground floor");
    EXPECT_EQ(m.GetCurrentMapLabel(), "Ground floor");
    m.GetMap(0)->SetCentre(5, 0);
    EXPECT_FALSE(m.GetCurrentMapCentre(x, y));  // both must be non-zero
    m.GetMap(0)->SetCentre(5, 6);
    EXPECT_TRUE(m.GetCurrentMapCentre(x, y));
    EXPECT_EQ(x, 5);
    EXPECT_EQ(y, 6);
    EXPECT_TRUE(m.SwapMaps(0, 1));
    EXPECT_FALSE(m.SwapMaps(0, 2));
    EXPECT_EQ(m.GetCurrentMapLabel(), "TourMap");
    EXPECT_TRUE(m.SetCurrentMap(1));
    EXPECT_EQ(m.GetCurrentMapLabel(), "Ground floor");
    m.GetMap(1)->SetDisplayMode(12);
    EXPECT_EQ(m.GetCurrentMapDisplayMode(), 12);
    m.GetMap(1)->SetDisplayMode(0x2000);
    EXPECT_EQ(m.GetCurrentMapDisplayMode(), 0x2000);
}

TEST(TourMapSettings, FourQuarterTurnsReturnEveryCompass)
{
    TourProject tour(3);
    tour.AddVista(nullptr, "a.jpg", 2, 100, 50, 100, 0, 0);
    Vista* a = tour.GetVista(0);
    TourMap map;
    ImagePtr picture = ImagePtr::adopt(new Image(20, 10, 3));
    map.SetImage(picture.get());
    ASSERT_TRUE(map.AddCompass(a, 3.0f, -2.0f, 2.5f, 0.0f));
    EXPECT_FALSE(map.AddCompass(a, 1.0f, 1.0f, 0.0f, 0.0f));  // one compass per vista and map

    map.RotateQuarter();
    EXPECT_EQ(map.GetRotation(), 90);
    EXPECT_EQ(map.GetImage()->GetWidth(), 10);
    EXPECT_FLOAT_EQ(map.GetCompass(0)->x, 2.0f);  // (x, y) -> (-y, x)
    EXPECT_FLOAT_EQ(map.GetCompass(0)->y, 3.0f);
    EXPECT_NEAR(map.GetCompass(0)->direction, 2.5 + std::numbers::pi / 2 - 2 * std::numbers::pi, 1e-5);
    for (int k = 0; k < 3; ++k) map.RotateQuarter();
    EXPECT_EQ(map.GetQuarterTurns(), 0);
    EXPECT_FLOAT_EQ(map.GetCompass(0)->x, 3.0f);
    EXPECT_FLOAT_EQ(map.GetCompass(0)->y, -2.0f);
    EXPECT_NEAR(map.GetCompass(0)->direction, 2.5, 1e-5);
    EXPECT_EQ(map.GetImage()->GetWidth(), 20);
}

TEST(TourMapSettings, CompassesFollowTheVistas)
{
    TourProject tour(3);
    tour.AddVista(nullptr, "a.jpg", 2, 100, 50, 100, 0, 0);
    tour.AddVista(nullptr, "b.jpg", 2, 100, 50, 100, 0, 0);
    Vista* a = tour.FindVista("a.jpg");
    Vista* b = tour.FindVista("b.jpg");
    TourMapSettings& m = tour.GetTourMap();
    ImagePtr picture = ImagePtr::adopt(new Image(8, 8, 3));
    m.GetMap(m.AddMap())->SetImage(picture.get());
    ASSERT_EQ(m.AddMap(), 1);
    ASSERT_TRUE(m.GetMap(0)->AddCompass(a, 1, 1, 0, 0));
    ASSERT_TRUE(m.GetMap(0)->AddCompass(b, 2, 2, 0, 0));
    ASSERT_TRUE(m.GetMap(1)->AddCompass(b, 3, 3, 0, 0));
    m.GetMap(0)->GetCompass(1)->hidden = 1;
    EXPECT_EQ(m.GetPlacedCompassCount(), 1);
    EXPECT_TRUE(m.HasCompass(b));

    // Reordering renumbers the compasses, removing a vista removes its compasses.
    ASSERT_TRUE(tour.MoveVista(0, 1));
    EXPECT_EQ(m.GetMap(0)->FindCompass(a)->vistaIndex, tour.GetVistaIndex(a->GetId()));
    EXPECT_EQ(m.GetMap(1)->FindCompass(b)->vistaIndex, tour.GetVistaIndex(b->GetId()));
    ASSERT_TRUE(tour.RemoveVista(tour.GetVistaIndex(b->GetId())));
    EXPECT_FALSE(m.HasCompass(b));  // b is gone; only the pointer value is compared
    EXPECT_EQ(m.GetMap(1)->GetCompassCount(), 0);
    EXPECT_EQ(m.GetMap(0)->GetCompassCount(), 1);
    EXPECT_EQ(m.GetMap(0)->GetCompass(0)->vistaIndex, 0);
}

}  // namespace
