#include "tour/tessiv/tour_project.h"

#include "testkit/testkit.h"
#include "tour/tessiv/tour_library.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

using ImagePtr = RefPtr<Image>;

std::vector<std::string> Order(const TourProject& tour)
{
    std::vector<std::string> names;
    for (int i = 0; i < tour.GetVistaCount(); ++i) names.push_back(tour.GetVista(i)->GetFileName());
    return names;
}

int Add(TourProject& tour, const char* file) { return tour.AddVista(nullptr, file, 2, 3000, 1000, 3000, 0, 0); }

TEST(TourProject, DefaultsOfANewTour)
{
    TourProject tour(1);
    EXPECT_EQ(tour.GetVistaLimit(), 1);
    EXPECT_EQ(tour.GetVistaCount(), 0);
    EXPECT_EQ(tour.GetPageWidth(), 600);
    EXPECT_EQ(tour.GetPageHeight(), 400);
    EXPECT_EQ(tour.GetSpinSpeed(), 6);
    EXPECT_EQ(tour.GetFieldOfView(), 60);
    EXPECT_EQ(tour.GetControlBarColor(), 0xD8E9ECu);
    EXPECT_EQ(tour.GetVistaBenchColor(), 0x0080FFu);
    EXPECT_EQ(tour.GetPageBgColor(), 0x808000u);
    EXPECT_EQ(tour.GetImageQuality(), 1);
    EXPECT_EQ(tour.GetViewerKind(), 0);
    EXPECT_EQ(tour.GetButtonBgColor(3), 0xD8E9ECu);
    EXPECT_EQ(tour.GetButtonTextColor(0), 0u);
    EXPECT_EQ(tour.GetVistaSoundPlayFlags(), 15);
    EXPECT_EQ(tour.GetViewerLabelStyle().GetOpacity(), 100);
    EXPECT_EQ(tour.GetViewerLabelValue(), 10);
    EXPECT_EQ(tour.GetThumbnailHeight(), 80);
    EXPECT_EQ(tour.GetTitle().GetText(), nullptr);
    EXPECT_STREQ(tour.GetTitle().GetFaceName(), "MS Serif");
    EXPECT_TRUE(tour.GetStripEnabled());
    EXPECT_TRUE(tour.GetFlagD());
    EXPECT_FALSE(tour.HasUnsavedChanges());
    EXPECT_STREQ(TourLibrary().vistaLabelStyle.GetFaceName(), "MS Serif");
    EXPECT_EQ(TourLibrary().highestVistaId, 0);
}

TEST(TourProject, WithLimitOneANewVistaReplacesTheOld)
{
    TourProject tour(1);
    const int a = Add(tour, "A.jpg");
    EXPECT_EQ(a, 1);
    const int b = Add(tour, "B.jpg");
    EXPECT_EQ(b, 2);
    EXPECT_EQ(Order(tour), (std::vector<std::string>{"B.jpg"}));
    EXPECT_EQ(tour.GetActiveVistaId(), b);
    EXPECT_EQ(tour.FindVistaById(a), nullptr);
}

TEST(TourProject, NewVistasGoAfterTheActiveOne)
{
    TourProject tour(10);
    const int a = Add(tour, "a.jpg");
    const int b = Add(tour, "b.jpg");  // after a, which is active
    Add(tour, "c.jpg");
    EXPECT_EQ(Order(tour), (std::vector<std::string>{"a.jpg", "c.jpg", "b.jpg"}));
    ASSERT_TRUE(tour.SetActiveVista(b));  // index 2
    EXPECT_FALSE(tour.SetActiveVista(b));
    Add(tour, "d.jpg");
    EXPECT_EQ(Order(tour), (std::vector<std::string>{"a.jpg", "c.jpg", "b.jpg", "d.jpg"}));
    ASSERT_TRUE(tour.SetActiveVista(tour.GetVista(1)));  // c at index 1
    Add(tour, "e.jpg");
    EXPECT_EQ(tour.GetVistaIndex(tour.FindVista("e.jpg")->GetId()), 2);
    EXPECT_EQ(tour.GetActiveVista(), tour.FindVista("c.jpg"));
    EXPECT_EQ(tour.GetActiveVistaId(), tour.FindVista("c.jpg")->GetId());
    (void)a;
}

TEST(TourProject, SameFileIsRefusedExactly)
{
    TourProject tour(5);
    ImagePtr thumb = ImagePtr::adopt(new Image(4, 2, 3));
    ASSERT_GT(tour.AddVista(thumb.get(), "C:\\p\\hall.jpg", 2, 1, 1, 1, 0, 0), 0);
    EXPECT_EQ(thumb->m_refCount, 2);
    const int before = TourLibrary().highestVistaId;
    tour.SaveBytes(false);  // clears the unsaved mark
    EXPECT_EQ(tour.AddVista(thumb.get(), "C:\\p\\hall.jpg", 2, 1, 1, 1, 0, 0), -1);
    EXPECT_FALSE(tour.HasUnsavedChanges());
    EXPECT_EQ(TourLibrary().highestVistaId, before);
    EXPECT_GT(tour.AddVista(thumb.get(), "c:\\p\\hall.jpg", 2, 1, 1, 1, 0, 0), 0);  // other case: other file
    EXPECT_EQ(tour.GetVistaCount(), 2);
}

TEST(TourProject, MoveKeepsTheActiveVistaObject)
{
    TourProject tour(5);
    Add(tour, "1.jpg");
    Add(tour, "3.jpg");
    Add(tour, "2.jpg");  // order 1, 2, 3 (each after the active first)
    ASSERT_EQ(Order(tour), (std::vector<std::string>{"1.jpg", "2.jpg", "3.jpg"}));
    Vista* active = tour.GetActiveVista();
    ASSERT_TRUE(tour.MoveVista(0, 2));
    EXPECT_EQ(Order(tour), (std::vector<std::string>{"2.jpg", "3.jpg", "1.jpg"}));
    EXPECT_EQ(tour.GetActiveVista(), active);
    EXPECT_FALSE(tour.MoveVista(1, 1));
    EXPECT_FALSE(tour.MoveVista(-1, 1));
    EXPECT_FALSE(tour.MoveVista(0, 3));
    ASSERT_TRUE(tour.MoveVista(2, 0));
    EXPECT_EQ(Order(tour), (std::vector<std::string>{"1.jpg", "2.jpg", "3.jpg"}));
}

TEST(TourProject, RemovingAndOutOfRangeIndices)
{
    TourProject tour(5);
    Add(tour, "a.jpg");
    Add(tour, "b.jpg");
    EXPECT_EQ(tour.GetVista(2), nullptr);
    EXPECT_EQ(tour.GetVista(-1), nullptr);
    EXPECT_EQ(tour.GetVistaIndex(99), -1);
    EXPECT_FALSE(tour.RemoveVista(2));
    EXPECT_TRUE(tour.RemoveVista(0));  // a was active
    EXPECT_EQ(tour.GetActiveVista(), nullptr);
    EXPECT_EQ(tour.GetActiveVistaId(), 0);
    EXPECT_EQ(Order(tour), (std::vector<std::string>{"b.jpg"}));
    Add(tour, "c.jpg");  // no active vista: appended
    EXPECT_EQ(Order(tour), (std::vector<std::string>{"b.jpg", "c.jpg"}));
}

// Each setter: a change reports true and marks unsaved changes; the same
// value again reports false and leaves the mark as it was.
TEST(TourProject, SettersReportChangesAndMarkUnsaved)
{
    struct Case {
        const char* name;
        std::function<bool(TourProject&)> set;
        std::function<bool(const TourProject&)> holds;
    };
    const std::vector<Case> cases = {
        {"page size", [](TourProject& t) { return t.SetPageSize(800, 500); },
         [](const TourProject& t) { return t.GetPageWidth() == 800 && t.GetPageHeight() == 500; }},
        {"spin", [](TourProject& t) { return t.SetSpinSpeed(-20); }, [](const TourProject& t) { return t.GetSpinSpeed() == -20; }},
        {"fov", [](TourProject& t) { return t.SetFieldOfView(90); }, [](const TourProject& t) { return t.GetFieldOfView() == 90; }},
        {"bar colour", [](TourProject& t) { return t.SetControlBarColor(1); }, [](const TourProject& t) { return t.GetControlBarColor() == 1; }},
        {"bench colour", [](TourProject& t) { return t.SetVistaBenchColor(2); }, [](const TourProject& t) { return t.GetVistaBenchColor() == 2; }},
        {"page colour", [](TourProject& t) { return t.SetPageBgColor(3); }, [](const TourProject& t) { return t.GetPageBgColor() == 3; }},
        {"fourth colour", [](TourProject& t) { return t.SetFourthColor(4); }, [](const TourProject& t) { return t.GetFourthColor() == 4; }},
        {"bench location", [](TourProject& t) { return t.SetVistaBenchLocation(2); }, [](const TourProject& t) { return t.GetVistaBenchLocation() == 2; }},
        {"bench location clamped", [](TourProject& t) { return t.SetVistaBenchLocation(7); }, [](const TourProject& t) { return t.GetVistaBenchLocation() == 2; }},
        {"rows", [](TourProject& t) { return t.SetThumbnailRowsSetting(2.5f); }, [](const TourProject& t) { return t.GetThumbnailRowsSetting() == 2.5f; }},
        {"auto rows", [](TourProject& t) { return t.SetAutomaticRows(true); }, [](const TourProject& t) { return t.GetAutomaticRows(); }},
        {"quality", [](TourProject& t) { return t.SetImageQuality(0); }, [](const TourProject& t) { return t.GetImageQuality() == 0; }},
        {"quality clamped", [](TourProject& t) { return t.SetImageQuality(9); }, [](const TourProject& t) { return t.GetImageQuality() == 2; }},
        {"viewer", [](TourProject& t) { return t.SetViewerKind(1); }, [](const TourProject& t) { return t.GetViewerKind() == 1; }},
        {"button bg", [](TourProject& t) { return t.SetButtonBgColor(3, 5); }, [](const TourProject& t) { return t.GetButtonBgColor(3) == 5; }},
        {"button text", [](TourProject& t) { return t.SetButtonTextColor(1, 6); }, [](const TourProject& t) { return t.GetButtonTextColor(1) == 6; }},
        {"bar coloured", [](TourProject& t) { return t.SetControlBarColored(true); }, [](const TourProject& t) { return t.GetControlBarColored(); }},
        {"bench coloured", [](TourProject& t) { return t.SetVistaBenchColored(true); }, [](const TourProject& t) { return t.GetVistaBenchColored(); }},
        {"use sound", [](TourProject& t) { return t.SetUseSound(true); }, [](const TourProject& t) { return t.GetUseSound(); }},
        {"folder", [](TourProject& t) { return t.SetFolder("c:/tours"); }, [](const TourProject& t) { return std::string(t.GetFolder()) == "c:/tours"; }},
        {"page name", [](TourProject& t) { return t.SetPageName("tour.htm"); }, [](const TourProject& t) { return std::string(t.GetPageName()) == "tour.htm"; }},
        {"stored text", [](TourProject& t) { return t.SetStoredText(1, "x"); }, [](const TourProject& t) { return std::string(t.GetStoredText(1)) == "x"; }},
        {"strip", [](TourProject& t) { return t.SetStripEnabled(false); }, [](const TourProject& t) { return !t.GetStripEnabled(); }},
        {"title text", [](TourProject& t) { return t.SetTitleText("Hall"); }, [](const TourProject& t) { return std::string(t.GetTitle().GetText()) == "Hall"; }},
        {"title font", [](TourProject& t) { return t.SetTitleFont("Arial", 240, 1); }, [](const TourProject& t) { return t.GetTitle().GetSize() == 240; }},
        {"title colour", [](TourProject& t) { return t.SetTitleColor(0xFF); }, [](const TourProject& t) { return t.GetTitle().GetTextColor() == 0xFF; }},
        {"title shown", [](TourProject& t) { return t.SetTitleShown(true); }, [](const TourProject& t) { return t.GetTitle().IsShown(); }},
        {"photo init", [](TourProject& t) { return t.SetPhotoSlideInitSize(1, 2); }, [](const TourProject& t) { return t.GetPhotoSlideInitSize(1) == 2; }},
        {"photo movie", [](TourProject& t) { return t.SetPhotoSlideMovieTime(3, 4); }, [](const TourProject& t) { return t.GetPhotoSlideMovieTime(0) == 3; }},
        {"photo zoom", [](TourProject& t) { return t.SetPhotoSlideZoomTime(5, 6); }, [](const TourProject& t) { return t.GetPhotoSlideZoomTime(1) == 6; }},
        {"sound flag", [](TourProject& t) { return t.SetVistaSoundPlayFlag(2, false); }, [](const TourProject& t) { return t.GetVistaSoundPlayFlags() == 11; }},
        {"label in viewer", [](TourProject& t) { return t.SetVistaLabelInViewer(3); }, [](const TourProject& t) { return t.GetVistaLabelInViewer() == 3; }},
        {"label in viewer clamped", [](TourProject& t) { return t.SetVistaLabelInViewer(8); }, [](const TourProject& t) { return t.GetVistaLabelInViewer() == 3; }},
        {"label value", [](TourProject& t) { return t.SetViewerLabelValue(4); }, [](const TourProject& t) { return t.GetViewerLabelValue() == 4; }},
        {"flag D", [](TourProject& t) { return t.SetFlagD(false); }, [](const TourProject& t) { return !t.GetFlagD(); }},
        {"A", [](TourProject& t) { return t.SetStoredValueA(9); }, [](const TourProject& t) { return t.GetStoredValueA() == 9; }},
        {"B", [](TourProject& t) { return t.SetStoredFlagB(false); }, [](const TourProject& t) { return !t.GetStoredFlagB(); }},
        {"C", [](TourProject& t) { return t.SetStoredFlagC(true); }, [](const TourProject& t) { return t.GetStoredFlagC(); }},
        {"F", [](TourProject& t) { return t.SetStoredValue(1, 60); }, [](const TourProject& t) { return t.GetThumbnailHeight() == 60; }},
    };
    for (const Case& c : cases) {
        TourProject tour(1);
        EXPECT_FALSE(tour.HasUnsavedChanges()) << c.name;
        EXPECT_TRUE(c.set(tour)) << c.name;
        EXPECT_TRUE(c.holds(tour)) << c.name;
        EXPECT_TRUE(tour.HasUnsavedChanges()) << c.name;
        tour.SaveBytes(false);
        EXPECT_FALSE(tour.HasUnsavedChanges()) << c.name;
        EXPECT_FALSE(c.set(tour)) << c.name << " again";
        EXPECT_FALSE(tour.HasUnsavedChanges()) << c.name << " again";
    }
    TourProject tour(1);
    EXPECT_FALSE(tour.SetButtonBgColor(4, 1));  // states 0..3 only
    EXPECT_FALSE(tour.SetStoredText(2, "x"));
    EXPECT_FALSE(tour.SetVistaSoundPlayFlag(4, false));
    EXPECT_FALSE(tour.HasUnsavedChanges());
}

TEST(TourProject, SoundsAreSharedByPath)
{
    TourProject tour(5);
    Add(tour, "a.jpg");
    Add(tour, "b.jpg");
    Vista* a = tour.FindVista("a.jpg");
    Vista* b = tour.FindVista("b.jpg");
    EXPECT_EQ(tour.GetBgSoundPath(), nullptr);
    ASSERT_TRUE(tour.SetBgSound("c:\\s\\wind.wav"));
    EXPECT_TRUE(tour.GetUseSound());
    EXPECT_STREQ(tour.GetBgSoundPath(), "c:\\s\\wind.wav");
    EXPECT_FALSE(tour.SetBgSound("c:\\s\\wind.wav"));
    ASSERT_TRUE(tour.SetVistaSound(a, "c:\\s\\wind.wav"));  // the same record
    ASSERT_TRUE(tour.SetVistaSound(b, "c:\\s\\bird.mp3"));
    EXPECT_EQ(tour.GetSoundCount(), 2);
    EXPECT_EQ(a->GetSoundId(), tour.GetBgSoundId());
    EXPECT_STREQ(tour.GetVistaSoundPath(b), "c:\\s\\bird.mp3");
    ASSERT_TRUE(tour.SetSoundValue(b->GetSoundId(), 40.0f));
    EXPECT_EQ(tour.GetVistaSoundValue(b), 40.0f);
    EXPECT_EQ(tour.GetSoundsInUse(), 2);

    tour.SetUseSound(false);
    EXPECT_TRUE(tour.IsSoundInUse(a->GetSoundId()));  // still a's sound
    ASSERT_TRUE(tour.SetVistaSound(a, nullptr));
    EXPECT_FALSE(tour.IsSoundInUse(tour.GetBgSoundId()));  // background while unused
    EXPECT_EQ(tour.GetSoundsInUse(), 1);
    ASSERT_TRUE(tour.SetBgSound(nullptr));
    EXPECT_EQ(tour.GetBgSoundPath(), nullptr);
    EXPECT_EQ(tour.GetSoundCount(), 2);  // records stay
    EXPECT_FALSE(tour.IsSoundInUse(0));

    Vista stranger;
    EXPECT_FALSE(tour.SetVistaSound(&stranger, "x.wav"));
}

}  // namespace
