// The effect end to end on the window managers people run on X11, and the
// stacking situations that could leave another application's window readable:
// the real program over patterned windows, with what a viewer sees read back
// from the root window and compared with the screen taken before it started.
//
// Setting HUSHGLASS_E2E_SHOTS to a folder keeps a screenshot of every step.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <thread>

#include <unistd.h>

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
constexpr auto kFirstPicture = 20s;  // generous: a software-rendering compositor on a busy 2-core machine
constexpr auto kFollow = 5s;         // a bound on following a change, not a timing goal

const PixelRect kScreen{0, 0, kWidth, kHeight};

std::string hex(xcb_window_t window)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%x", window);
    return text;
}

// The part of `a` that `b` covers (empty when they do not meet).
PixelRect intersection(const PixelRect& a, const PixelRect& b)
{
    const int left = std::max(a.x, b.x), top = std::max(a.y, b.y);
    const int right = std::min(a.x + a.width, b.x + b.width), bottom = std::min(a.y + a.height, b.y + b.height);
    return right > left && bottom > top ? PixelRect{left, top, right - left, bottom - top} : PixelRect{};
}

class DesktopTest {
protected:
    void open(const std::string& windowManager)
    {
        desk = std::make_unique<E2eDesktop>(kWidth, kHeight, windowManager);
        ASSERT_TRUE(desk->ok()) << desk->error();
        // The pointer in a corner, away from every region the tests look at.
        desk->session().run({"xdotool", "mousemove", std::to_string(kWidth - 1), std::to_string(kHeight - 1)});
    }

    // Keeps a screenshot of this step when HUSHGLASS_E2E_SHOTS names a folder.
    void keep(const Screenshot& shot, const std::string& step)
    {
        const char* folder = std::getenv("HUSHGLASS_E2E_SHOTS");
        if (!folder)
            return;
        std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::replace(name.begin(), name.end(), '/', '-');
        shot.save(std::string(folder) + "/" + name + "-" + step + ".png");
    }

    // Starts the program and waits until the screen outside `sharp` is blurred.
    void startAndWaitForBlur(const Screenshot& before, const std::vector<PixelRect>& sharp,
                             const std::vector<std::string>& environment = {}, const std::string& settings = effectDefaults())
    {
        keep(before, "before");
        desk->writeDefaults(settings);
        ASSERT_TRUE(desk->startProgram(environment)) << desk->programOutput();
        const bool covered = testing::eventually(
            [&] { return blurred(desk->screenshot(), before, kScreen, sharp); }, kFirstPicture);
        keep(desk->screenshot(), "started");
        ASSERT_TRUE(covered) << "the screen around the focus window was not blurred\n" << desk->programOutput();
    }

    std::unique_ptr<E2eDesktop> desk;
};

class EveryWindowManager : public DesktopTest, public ::testing::TestWithParam<std::string> {
protected:
    void SetUp() override
    {
        if (!testing::XSession::available(false))
            GTEST_SKIP() << "Xvfb is not installed";
        if (!testing::windowManagerInstalled(GetParam()))
            GTEST_SKIP() << "the window manager " << GetParam() << " is not installed here";
        open(GetParam());
    }
};

// Three windows of two applications; each activation moves the sharp region
// to the activated window, pixel for pixel, and blurs the other two. The
// windows do not overlap (a tiling window manager places them itself).
TEST_P(EveryWindowManager, KeepsOnlyTheActiveWindowSharpAsActivationMoves)
{
    testing::TestClient viewer(desk->session().display());
    ASSERT_TRUE(viewer.ok());
    const xcb_window_t a = desk->openPatterned("a 400x280+40+60 class=editor,Editor", 1);
    const xcb_window_t b = desk->openPatterned(viewer, "b 400x280+560+60 class=viewer,Viewer", 2);
    const xcb_window_t c = desk->openPatterned("c 860x220+80+440 class=editor,Editor", 3);
    ASSERT_TRUE(a && b && c);
    desk->client().command("activate a");
    ASSERT_TRUE(testing::eventually([&] { return desk->inputFocus() == a; }, kFollow))
        << GetParam() << " did not give the focus to the activated window";
    // A compositing window manager shows new windows late (fading them in).
    const PixelRect rect[] = {desk->clientRect(a), desk->clientRect(b), desk->clientRect(c)};
    ASSERT_TRUE(testing::eventually(
        [&] {
            const Screenshot shot = desk->screenshot();
            return testing::showsPattern(shot, rect[0], 1) && testing::showsPattern(shot, rect[1], 2)
                && testing::showsPattern(shot, rect[2], 3);
        },
        kFirstPicture))
        << GetParam() << " does not show the windows";
    const Screenshot before = desk->settledScreenshot();

    startAndWaitForBlur(before, {rect[0]});

    struct Step {
        testing::TestClient* client;
        const char* name;
        xcb_window_t window;
        int index;
    };
    for (const Step& step : {Step{nullptr, "a", a, 0}, Step{&viewer, "b", b, 1}, Step{nullptr, "c", c, 2}}) {
        if (step.client)
            step.client->command(std::string("activate ") + step.name);
        else
            desk->client().command(std::string("activate ") + step.name);
        std::string problem;
        const bool followed = testing::eventually(
            [&] {
                const Screenshot now = desk->screenshot();
                problem.clear();
                if (!now.sameIn(before, rect[step.index]))
                    problem += std::string(" ") + step.name + " is not exactly as before;";
                for (int other = 0; other < 3; ++other)
                    if (other != step.index && !blurred(now, before, rect[other], {rect[step.index]}))
                        problem += std::string(" ") + "abc"[other] + " is readable;";
                return problem.empty();
            },
            kFollow);
        keep(desk->screenshot(), std::string("active-") + step.name);
        EXPECT_TRUE(followed) << "with " << step.name << " active:" << problem;
    }
    EXPECT_EQ(desk->stopProgram(), 0) << desk->programOutput();
}

INSTANTIATE_TEST_SUITE_P(WindowManagers, EveryWindowManager, ::testing::ValuesIn(testing::windowManagers()),
                         [](const auto& info) { return info.param; });

// Stacking that the window manager, not the focus choice, brings about, and
// scaled desktops; on openbox.
class OnOpenbox : public DesktopTest, public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!testing::XSession::available())
            GTEST_SKIP() << "Xvfb or openbox is not installed";
        open("openbox");
    }

    // An editor window at (60, 80) with the focus; 0 when it did not get there.
    xcb_window_t openActiveEditor()
    {
        const xcb_window_t editor = desk->openPatterned("editor 400x300+60+80 class=editor,Editor", 1);
        if (!editor)
            return 0;
        desk->client().command("activate editor");
        return testing::eventually([&] { return desk->inputFocus() == editor; }, kFollow) ? editor : 0;
    }
};

// Another application's always-on-top window partly over the focus window:
// all of it is blurred, the rest of the focus window stays exact.
TEST_F(OnOpenbox, AnotherApplicationsAlwaysOnTopWindowIsBlurred)
{
    testing::TestClient chatApp(desk->session().display());
    ASSERT_TRUE(chatApp.ok());
    const xcb_window_t editor = desk->openPatterned("editor 500x400+60+80 class=editor,Editor", 1);
    const xcb_window_t chat = desk->openPatterned(chatApp, "chat 320x260+460+320 class=chat,Chat", 2);
    ASSERT_TRUE(editor && chat);
    ASSERT_EQ(desk->session().run({"wmctrl", "-i", "-r", hex(chat), "-b", "add,above"}), 0);
    desk->client().command("activate editor");
    ASSERT_TRUE(testing::eventually([&] { return desk->inputFocus() == editor; }, kFollow));
    const Screenshot before = desk->settledScreenshot();
    const PixelRect editorRect = desk->clientRect(editor), chatRect = desk->clientRect(chat);
    const PixelRect overlap = intersection(editorRect, chatRect);
    ASSERT_GT(overlap.width, 40);
    ASSERT_GT(overlap.height, 40);
    // The editor's part that the chat window, frame included, leaves free on the left.
    const PixelRect chatFrame = desk->clientRect(desk->frameOf(chat));
    const PixelRect editorFree{editorRect.x, editorRect.y, chatFrame.x - editorRect.x, editorRect.height};

    startAndWaitForBlur(before, {editorRect});
    std::string problem;
    EXPECT_TRUE(testing::eventually(
        [&] {
            const Screenshot now = desk->screenshot();
            problem.clear();
            if (!now.sameIn(before, editorFree))
                problem += " the focus window is not exact;";
            if (!blurred(now, before, chatRect, {editorRect}))
                problem += " the always-on-top window is readable beside the focus window;";
            if (!blurred(now, before, overlap.inset(4)))
                problem += " the always-on-top window is readable over the focus window;";
            return problem.empty();
        },
        kFollow))
        << problem;
    keep(desk->screenshot(), "covered");
}

// A window of another application raised over the focus window without
// taking the focus (as a click on its title bar with focus-follows-mouse, or
// a program raising itself, does) is blurred at once.
TEST_F(OnOpenbox, AWindowRaisedWithoutTheFocusIsBlurred)
{
    testing::TestClient viewerApp(desk->session().display());
    ASSERT_TRUE(viewerApp.ok());
    const xcb_window_t viewer = desk->openPatterned(viewerApp, "viewer 360x300+420+300 class=viewer,Viewer", 2);
    const xcb_window_t editor = desk->openPatterned("editor 500x400+60+80 class=editor,Editor", 1);
    ASSERT_TRUE(editor && viewer);
    desk->client().command("activate editor");
    ASSERT_TRUE(testing::eventually([&] { return desk->inputFocus() == editor; }, kFollow));
    const Screenshot before = desk->settledScreenshot();
    const PixelRect editorRect = desk->clientRect(editor);
    startAndWaitForBlur(before, {editorRect});

    // The viewer raises itself; openbox honours that without moving the focus.
    viewerApp.command("raise viewer");
    const auto raised = [&] {
        const auto order = desk->stackingOrder();
        const auto place = [&](xcb_window_t w) { return std::find(order.begin(), order.end(), desk->frameOf(w)); };
        return place(viewer) > place(editor);
    };
    ASSERT_TRUE(testing::eventually(raised, kFollow)) << "openbox did not raise the window";
    ASSERT_EQ(desk->inputFocus(), editor) << "raising the window moved the focus";

    const PixelRect viewerRect = desk->clientRect(viewer);
    const PixelRect overlap = intersection(editorRect, viewerRect);
    ASSERT_GT(overlap.width, 40);
    const bool covered = testing::eventually(
        [&] {
            const Screenshot now = desk->screenshot();
            return !testing::showsPattern(now, {overlap.x, overlap.y, 64, 64}, 2)
                && now.highFrequencyEnergy(overlap.inset(4)) <= 0.1 * before.highFrequencyEnergy(overlap.inset(4));
        },
        kFollow);
    keep(desk->screenshot(), "raised");
    EXPECT_TRUE(covered) << "the raised window stays readable over the focus window";
}

// With Qt scaling by 2 (as a desktop with twice the usual dots per inch
// makes it), every overlay is exactly the monitor, in root pixels, and the
// focus window is exactly as it was.
TEST_F(OnOpenbox, OverlaysMatchTheMonitorWhenQtScalesByTwo)
{
    const xcb_window_t editor = openActiveEditor();
    ASSERT_NE(editor, 0u) << "the editor window did not open and take the focus";
    const Screenshot before = desk->settledScreenshot();
    const PixelRect editorRect = desk->clientRect(editor);

    startAndWaitForBlur(before, {editorRect}, {"QT_SCALE_FACTOR=2"});
    EXPECT_TRUE(testing::eventually([&] { return desk->screenshot().sameIn(before, editorRect); }, kFollow))
        << "the focus window is not exactly as it was";
    const auto overlays = desk->overlays();
    ASSERT_FALSE(overlays.empty());
    for (const auto& overlay : overlays) {
        EXPECT_EQ(overlay.rect.x, 0);
        EXPECT_EQ(overlay.rect.y, 0);
        EXPECT_EQ(overlay.rect.width, kWidth);
        EXPECT_EQ(overlay.rect.height, kHeight);
    }
    // Blurred to the monitor's far corner, not only in its top-left quarter.
    EXPECT_TRUE(blurred(desk->screenshot(), before, {kWidth / 2, kHeight / 2, kWidth / 2, kHeight / 2}));
}

// Every overlay names the program as its owner, so that window lists (ours
// and other programs') know it without the X-Resource extension.
TEST_F(OnOpenbox, OverlaysCarryTheProgramsProcessAndHost)
{
    const xcb_window_t editor = openActiveEditor();
    ASSERT_NE(editor, 0u) << "the editor window did not open and take the focus";
    startAndWaitForBlur(desk->settledScreenshot(), {desk->clientRect(editor)});
    const auto overlays = desk->overlays();
    ASSERT_FALSE(overlays.empty());
    char host[256] = {};
    ASSERT_EQ(::gethostname(host, sizeof host - 1), 0);
    for (const auto& overlay : overlays) {
        std::string properties;
        desk->session().run({"xprop", "-id", hex(overlay.id), "_NET_WM_PID", "WM_CLIENT_MACHINE"}, &properties);
        EXPECT_NE(properties.find("_NET_WM_PID(CARDINAL) = " + std::to_string(desk->programPid())), std::string::npos)
            << properties;
        EXPECT_NE(properties.find("WM_CLIENT_MACHINE(STRING) = \"" + std::string(host) + "\""), std::string::npos)
            << properties;
    }
}

// Qt takes its device pixel ratio from the resources' `Xft.dpi`: at 192 dots
// per inch it is 2, which turns the blur radius in points into twice as many
// pixels and changes nothing else.
TEST_F(OnOpenbox, ADesktopAtTwiceTheDotsPerInchBlursAsOneWithTwiceTheRadius)
{
    const xcb_window_t editor = openActiveEditor();
    ASSERT_NE(editor, 0u) << "the editor window did not open and take the focus";
    const Screenshot before = desk->settledScreenshot();
    const PixelRect editorRect = desk->clientRect(editor);

    const auto blurAt = [&](int dotsPerInch, int radius) {
        const std::string resources = ::testing::TempDir() + "/hushglass-xresources";
        std::ofstream(resources) << "Xft.dpi: " << dotsPerInch << "\n";
        EXPECT_EQ(desk->session().run({"xrdb", "-nocpp", "-merge", resources}), 0);
        startAndWaitForBlur(before, {editorRect}, {}, effectDefaults(R"("blurRadius": )" + std::to_string(radius)));
        const Screenshot shot = desk->settledScreenshot();
        keep(shot, std::to_string(dotsPerInch) + "dpi");
        EXPECT_EQ(desk->stopProgram(), 0) << desk->programOutput();
        return shot;
    };
    const Screenshot doubled = blurAt(96, 24);
    const Screenshot scaled = blurAt(192, 12);
    EXPECT_TRUE(scaled.sameIn(before, editorRect));
    EXPECT_TRUE(scaled.sameIn(doubled, kScreen)) << "at 192 dots per inch the screen differs from 96 with twice the radius";
    const Screenshot plain = blurAt(96, 12);
    EXPECT_FALSE(plain.sameIn(doubled, kScreen)) << "the radius made no difference: the test shows nothing";
}

} // namespace
} // namespace hg
