// The effect end to end: the real program on a private X desktop with openbox,
// a noise wallpaper and test-client windows tiled with noise of their own.
// What a viewer would see is read back from the root window and compared with
// the same screen taken before the effect came on.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <random>
#include <sstream>
#include <thread>

#include "e2e_desktop.h"

namespace hg {
namespace {

using namespace std::chrono_literals;
using testing::E2eDesktop;
using testing::PixelRect;
using testing::Screenshot;
using testing::blurred;
using testing::effectDefaults;

constexpr int kWidth = 1024;
constexpr int kHeight = 768;
constexpr auto kFirstPicture = 15s;  // generous: the first capture and blur on a busy 2-core machine
constexpr auto kFollow = 2s;         // a bound on following the focus, not a timing goal

const PixelRect kScreen{0, 0, kWidth, kHeight};
constexpr int kCorner = 16;  // pixels: an excluded window's hole has rounded corners

// Random test-client commands: windows opened (some of them dialogs or of a
// second class), closed, moved, resized and activated; now and then a pointer move.
class WindowChurn {
public:
    std::string next()
    {
        const int choice = m_open.empty() ? 0 : pick(10);
        if (choice == 0 || (choice == 1 && m_open.size() < 8)) {
            const std::string name = "w" + std::to_string(m_opened++);
            m_open.push_back(name);
            return "open " + name + " " + std::to_string(100 + pick(500)) + "x" + std::to_string(80 + pick(400)) + "+"
                + std::to_string(pick(900)) + "+" + std::to_string(pick(600))
                + (pick(4) == 0 ? " class=chat,Chat" : "") + (pick(12) == 0 ? " type=dialog" : "");
        }
        const std::size_t index = static_cast<std::size_t>(pick(static_cast<int>(m_open.size())));
        const std::string name = m_open[index];
        if (choice <= 3) {
            m_open.erase(m_open.begin() + static_cast<std::ptrdiff_t>(index));
            return "close " + name;
        }
        if (choice <= 6)
            return "move " + name + " " + std::to_string(pick(900)) + " " + std::to_string(pick(600));
        if (choice == 7)
            return "resize " + name + " " + std::to_string(60 + pick(600)) + " " + std::to_string(60 + pick(500));
        return "activate " + name;
    }

    std::optional<std::pair<int, int>> pointerMove()
    {
        if (pick(5) != 0)
            return std::nullopt;
        return std::pair{pick(kWidth), pick(kHeight)};
    }

    [[nodiscard]] int opened() const { return m_opened; }

private:
    int pick(int n) { return static_cast<int>(m_random() % static_cast<unsigned>(n)); }

    std::mt19937 m_random{11};
    std::vector<std::string> m_open;
    int m_opened = 0;
};

class EffectEndToEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!testing::XSession::available())
            GTEST_SKIP() << "Xvfb or openbox is not installed";
        desk = std::make_unique<E2eDesktop>(kWidth, kHeight);
        ASSERT_TRUE(desk->ok()) << desk->error();
        // The pointer in a corner, away from every region the tests look at.
        desk->session().run({"xdotool", "mousemove", std::to_string(kWidth - 1), std::to_string(kHeight - 1)});
    }

    void TearDown() override
    {
        if (desk && HasFailure() && std::getenv("HUSHGLASS_E2E_SHOTS"))
            desk->screenshot().save(std::string(std::getenv("HUSHGLASS_E2E_SHOTS")) + "/"
                                    + ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".png");
    }

    // Starts the program and waits until an overlay is up and the screen
    // outside `sharp` is blurred.
    void startAndWaitForBlur(const Screenshot& before, const std::vector<PixelRect>& sharp)
    {
        ASSERT_TRUE(desk->startProgram()) << desk->programOutput();
        ASSERT_TRUE(testing::eventually([&] { return blurred(desk->screenshot(), before, kScreen, sharp); },
                                        kFirstPicture))
            << desk->programOutput();
        const auto overlays = desk->overlays();
        ASSERT_TRUE(std::any_of(overlays.begin(), overlays.end(), [](const auto& o) { return o.shown; }));
    }

    // An editor (a, active) and a viewer (b) of another application, the
    // screen as it was, and the program started on it.
    void startOnEditorAndViewer()
    {
        a = desk->openPatterned("a 420x320+60+80 class=editor,Editor", 1);
        b = desk->openPatterned("b 380x300+580+360 class=viewer,Viewer", 2);
        ASSERT_NE(a, 0u);
        ASSERT_NE(b, 0u);
        desk->client().command("activate a");
        desk->sync();
        std::this_thread::sleep_for(300ms);
        before = desk->screenshot();
        rectA = desk->clientRect(a);
        rectB = desk->clientRect(b);
        desk->writeDefaults(effectDefaults());
        startAndWaitForBlur(before, {rectA});
    }

    std::unique_ptr<E2eDesktop> desk;
    xcb_window_t a = 0, b = 0;  // set by startOnEditorAndViewer
    Screenshot before;
    PixelRect rectA, rectB;
};

TEST_F(EffectEndToEnd, KeepsTheFocusWindowSharpBlursTheRestFollowsActivationAndLeavesNothingBehind)
{
    ASSERT_NO_FATAL_FAILURE(startOnEditorAndViewer());
    Screenshot on = desk->screenshot();
    EXPECT_TRUE(on.sameIn(before, rectA)) << "the focus window's pixels changed";
    EXPECT_TRUE(blurred(on, before, rectB)) << "the other window is sharp";
    ASSERT_FALSE(desk->overlays().empty());

    desk->client().command("activate b");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(testing::eventually(
        [&] {
            const Screenshot now = desk->screenshot();
            return now.sameIn(before, rectB) && blurred(now, before, rectA);
        },
        kFollow))
        << "the sharp region did not move to the activated window";
    RecordProperty("followMs", static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                                    std::chrono::steady_clock::now() - start)
                                                    .count()));

    EXPECT_EQ(desk->stopProgram(), 0) << desk->programOutput();
    EXPECT_NE(desk->programOutput().find("Hushglass: quitting"), std::string::npos) << desk->programOutput();
    EXPECT_TRUE(desk->overlays().empty());
    const Screenshot after = desk->screenshot();
    EXPECT_TRUE(after.sameIn(before, rectA) && after.sameIn(before, rectB));
    EXPECT_TRUE(after.sameIn(before, {0, 440, 560, kHeight - 440})) << "the wallpaper is not sharp again";
}

// Long after the last change (the program idles, and its captures ask the
// server nothing while it hears nothing change), a window drawing behind the
// overlay still shows in the blur.
TEST_F(EffectEndToEnd, DrawingBehindTheOverlayShowsInTheBlurLongAfterTheLastChange)
{
    ASSERT_NO_FATAL_FAILURE(startOnEditorAndViewer());
    std::this_thread::sleep_for(18s);  // past the 15 s after which a still screen idles

    // b fills itself with red: its middle turns red behind the overlay.
    const std::uint32_t red = 0xFF0000;
    xcb_change_window_attributes(desk->connection(), b, XCB_CW_BACK_PIXEL, &red);
    xcb_clear_area(desk->connection(), 0, b, 0, 0, 0, 0);
    desk->sync();
    const int x = rectB.x + rectB.width / 2, y = rectB.y + rectB.height / 2;
    const auto reddish = [](std::uint32_t pixel) {
        const int r = static_cast<int>(pixel >> 16 & 0xFF), g = static_cast<int>(pixel >> 8 & 0xFF),
                  bl = static_cast<int>(pixel & 0xFF);
        return r > g + 80 && r > bl + 80;
    };
    EXPECT_FALSE(reddish(desk->screenshot().at(x, y)));
    EXPECT_TRUE(testing::eventually([&] { return reddish(desk->screenshot().at(x, y)); }, kFollow))
        << "the drawing did not reach the blurred picture";
    const Screenshot now = desk->screenshot();
    EXPECT_TRUE(now.sameIn(before, rectA)) << "the focus window's pixels changed";
    EXPECT_TRUE(blurred(now, before, {rectB.x - 40, rectB.y - 40, 40, rectB.height})) << "the edge of b is sharp";
}

TEST_F(EffectEndToEnd, AnExcludedApplicationsWindowStaysSharpWhereverItIs)
{
    testing::TestClient chatApp(desk->session().display());
    ASSERT_TRUE(chatApp.ok());
    const xcb_window_t chat = desk->openPatterned(chatApp, "chat 300x260+620+60 class=chat,Chat", 3);
    const xcb_window_t editor = desk->openPatterned("editor 460x360+60+300 class=editor,Editor", 1);
    ASSERT_NE(chat, 0u);
    ASSERT_NE(editor, 0u);
    desk->client().command("activate editor");
    desk->sync();
    std::this_thread::sleep_for(300ms);
    const Screenshot before = desk->screenshot();
    const PixelRect rectEditor = desk->clientRect(editor);
    desk->writeDefaults(effectDefaults(R"("excludedApps": ["chat"])"));

    startAndWaitForBlur(before, {rectEditor, desk->clientRect(chat)});
    EXPECT_TRUE(testing::showsPattern(desk->screenshot(), desk->clientRect(chat), 3, kCorner));

    // Somewhere else on the screen.
    chatApp.command("move chat 600 420");
    desk->sync();
    std::this_thread::sleep_for(300ms);
    const PixelRect moved = desk->clientRect(chat);
    EXPECT_TRUE(testing::eventually(
        [&] {
            const Screenshot now = desk->screenshot();
            return testing::showsPattern(now, moved, 3, kCorner) && blurred(now, before, {0, 0, 500, 280});
        },
        kFollow))
        << "the excluded window is blurred after moving";
}

TEST_F(EffectEndToEnd, RevealsADiscAroundThePointer)
{
    const xcb_window_t editor = desk->openPatterned("editor 400x300+40+40 class=editor,Editor", 1);
    ASSERT_NE(editor, 0u);
    desk->client().command("activate editor");
    desk->sync();
    std::this_thread::sleep_for(300ms);
    const Screenshot before = desk->screenshot();
    desk->writeDefaults(effectDefaults(R"("revealCursor": true, "cursorRevealRadius": 80)"));
    desk->session().run({"xdotool", "mousemove", "700", "500"});
    const PixelRect rectEditor = desk->clientRect(editor);
    const PixelRect disc{700 - 80, 500 - 80, 160, 160};

    startAndWaitForBlur(before, {rectEditor, disc});
    // The pointer's own picture lies within a few pixels right and below the
    // hot spot; the ring from 24 to 60 pixels is wallpaper only.
    EXPECT_TRUE(testing::eventually(
        [&] {
            const Screenshot now = desk->screenshot();
            for (int y = 440; y <= 560; ++y)
                for (int x = 640; x <= 760; ++x) {
                    const int d2 = (x - 700) * (x - 700) + (y - 500) * (y - 500);
                    if (d2 >= 24 * 24 && d2 <= 60 * 60 && now.at(x, y) != before.at(x, y))
                        return false;
                }
            return true;
        },
        kFollow))
        << "the disc around the pointer is not sharp";

    desk->session().run({"xdotool", "mousemove", "300", "600"});
    EXPECT_TRUE(testing::eventually(
        [&] {
            const Screenshot now = desk->screenshot();
            return blurred(now, before, {640, 440, 120, 120});
        },
        kFollow))
        << "the old disc stayed sharp after the pointer moved";
}

TEST_F(EffectEndToEnd, AFullScreenWindowOfTheFrontmostApplicationHidesTheOverlay)
{
    const xcb_window_t editor = desk->openPatterned("editor 400x300+40+40 class=editor,Editor", 1);
    ASSERT_NE(editor, 0u);
    desk->client().command("activate editor");
    desk->sync();
    std::this_thread::sleep_for(300ms);
    const Screenshot before = desk->screenshot();
    desk->writeDefaults(effectDefaults());
    startAndWaitForBlur(before, {desk->clientRect(editor)});

    // The focus is a dialog of the application over its own large window,
    // which is blurred around the dialog until it goes full screen.
    const xcb_window_t movie = desk->openPatterned("movie 900x560+40+120 class=editor,Editor", 4);
    ASSERT_NE(movie, 0u);
    const xcb_window_t dialog
        = desk->openPatterned("dialog 300x200+360+400 class=editor,Editor type=dialog transient=movie", 5);
    ASSERT_NE(dialog, 0u);
    desk->client().command("activate dialog");
    EXPECT_TRUE(testing::eventually(
        [&] {
            const PixelRect movieRect = desk->clientRect(movie);
            const PixelRect strip{movieRect.x, movieRect.y, movieRect.width, 150};
            return !testing::showsPattern(desk->screenshot(), strip, 4) && !desk->overlays().empty()
                && desk->overlays().front().shown;
        },
        kFollow))
        << "the application's large window is not blurred around its dialog";

    char movieID[16];
    std::snprintf(movieID, sizeof movieID, "0x%x", movie);
    desk->session().run({"wmctrl", "-i", "-r", movieID, "-b", "add,fullscreen"});
    EXPECT_TRUE(testing::eventually(
        [&] {
            for (const auto& overlay : desk->overlays())
                if (overlay.shown)
                    return false;
            const PixelRect movieRect = desk->clientRect(movie);
            return movieRect.width == kWidth && movieRect.height == kHeight
                && testing::showsPattern(desk->screenshot(), {0, 0, kWidth, 300}, 4);
        },
        kFollow))
        << "an overlay is still shown over the full-screen window";

    desk->client().command("close dialog");
    desk->client().command("close movie");
    desk->client().command("activate editor");
    EXPECT_TRUE(testing::eventually([&] { return blurred(desk->screenshot(), before, {500, 400, 500, 340}); },
                                    kFirstPicture))
        << "the blur did not come back after the full-screen window closed";
}

// Windows opened, moved, resized, activated and closed as fast as the test
// client answers, for 20 s: the program keeps running and reports no error.
TEST_F(EffectEndToEnd, SurvivesWindowsComingAndGoingQuickly)
{
    const xcb_window_t base = desk->openPatterned("base 300x200+20+20", 1);
    ASSERT_NE(base, 0u);
    const Screenshot before = desk->screenshot();
    desk->writeDefaults(effectDefaults(R"("revealCursor": true)"));
    startAndWaitForBlur(before, {desk->clientRect(base)});
    const std::string startup = desk->programOutput();

    WindowChurn churn;
    int errors = 0;
    const auto end = std::chrono::steady_clock::now() + 20s;
    while (std::chrono::steady_clock::now() < end) {
        if (desk->client().command(churn.next()).rfind("ok", 0) != 0)
            ++errors;
        if (const auto pointer = churn.pointerMove())
            desk->session().run({"xdotool", "mousemove", std::to_string(pointer->first), std::to_string(pointer->second)});
    }
    EXPECT_EQ(errors, 0);
    EXPECT_GT(churn.opened(), 40) << "the test client was too slow to make this a test";
    std::this_thread::sleep_for(500ms);
    ASSERT_TRUE(desk->programRunning()) << desk->programOutput();
    EXPECT_FALSE(desk->overlays().empty());
    // Beyond its start-up lines the program may only note closed focus windows.
    const std::string later = desk->programOutput().substr(startup.size());
    std::istringstream lines(later);
    for (std::string line; std::getline(lines, line);)
        EXPECT_EQ(line.rfind("Hushglass: focus window unlocatable for ", 0), 0u) << "unexpected output: " << line;

    // And the effect still follows the focus.
    desk->client().command("activate base");
    EXPECT_TRUE(testing::eventually(
        [&] {
            const Screenshot now = desk->screenshot();
            const PixelRect rect = desk->clientRect(base);
            return testing::showsPattern(now, rect, 1) && blurred(now, before, kScreen, {rect});
        },
        kFollow));
    EXPECT_EQ(desk->stopProgram(), 0) << desk->programOutput();
}

} // namespace
} // namespace hg
