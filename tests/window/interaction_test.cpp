// Keys and pointer over the window, without a window: highlight moves, confirmation by
// key release or by a click that goes down and up on the same choice, dragging, and
// the begin and exit areas. The engine is real; its front end is the fake.
#include "window/interaction.h"

#include <gtest/gtest.h>

#include "window_support.h"

namespace velmora::test {
namespace {

struct FakeHost : WindowHost {
    Point pos{200, 100};
    std::vector<Point> moves;
    int closeRequests = 0;
    Point windowPos() const override { return pos; }
    void moveWindow(Point p) override { moves.push_back(p); }
    void requestClose() override { ++closeRequests; }
};

class InteractionTest : public ::testing::Test {
protected:
    void SetUp() override {
        rig.display.present = [this] { ++presents; };
        rig.offerChoices(3, 1);
        presents = 0;
    }
    void click(Point p) {
        in.buttonDown(p, Point{p.x + 200, p.y + 100});
        in.buttonUp(p);
    }
    const std::string& sel() { return rig.engine.vars[kChoiceSel]; }
    int highlighted() { return rig.engine.choice.highlighted; }

    EngineRig rig;
    FakeHost host;
    Interaction in{rig.engine, rig.display, host};
    int presents = 0;
};

// Choice rectangles: 1 is (20,50)-(320,70), 2 is (20,70)-(320,90), 3 is (20,90)-(320,110).
constexpr Point kOn1{100, 60}, kOn2{100, 80}, kOn3{100, 100}, kOutside{500, 300};

struct KeyCase {
    int count, start;
    std::vector<Key> keys;
    int expected;
};

TEST_F(InteractionTest, ArrowKeysMoveTheHighlightAndWrap) {
    const KeyCase cases[] = {
        {3, 1, {Key::Up}, 3},
        {3, 3, {Key::Down}, 1},
        {3, 1, {Key::Left}, 3},
        {3, 2, {Key::Right}, 3},
        {3, 2, {Key::Up, Key::Up}, 3},
        {3, 1, {Key::Down, Key::Down, Key::Down}, 1},
        {1, 1, {Key::Down, Key::Up}, 1},
        {6, 6, {Key::Right}, 1},
        {3, 2, {Key::Other, Key::Space}, 2},
    };
    for (const KeyCase& c : cases) {
        rig.offerChoices(c.count, c.start);
        presents = 0;
        int arrows = 0;
        for (Key k : c.keys) {
            in.keyDown(k);
            arrows += k == Key::Up || k == Key::Down || k == Key::Left || k == Key::Right;
        }
        EXPECT_EQ(highlighted(), c.expected) << c.count << " choices from " << c.start;
        EXPECT_EQ(presents, arrows) << "every arrow redraws the frame";
    }
}

TEST_F(InteractionTest, EnterOrSpaceConfirmOnReleaseOnlyWhenArmed) {
    struct {
        std::vector<std::pair<bool, Key>> events;  // true: key down
        bool confirms;
    } cases[] = {
        {{{true, Key::Down}, {true, Key::Enter}, {false, Key::Enter}}, true},
        {{{true, Key::Space}, {false, Key::Space}}, true},
        {{{false, Key::Enter}}, false},                                          // no key-down
        {{{true, Key::Enter}, {true, Key::Other}, {false, Key::Enter}}, false},  // disarmed
        {{{true, Key::Enter}, {false, Key::Other}}, false},
        {{{true, Key::Enter}, {false, Key::Down}, {false, Key::Enter}}, false},  // one release
    };
    for (const auto& c : cases) {
        rig.offerChoices(3, 1);
        rig.engine.running = false;
        for (auto [down, k] : c.events) down ? in.keyDown(k) : in.keyUp(k);
        EXPECT_EQ(rig.engine.running, c.confirms);
        EXPECT_EQ(!rig.engine.choice.active, c.confirms);
    }
    // The first case confirmed choice 2 after the Down arrow.
    rig.offerChoices(3, 1);
    in.keyDown(Key::Down);
    in.keyDown(Key::Enter);
    in.keyUp(Key::Enter);
    EXPECT_EQ(sel(), "2");
    EXPECT_EQ(rig.engine.vars[kChoiceText], "choice 2");
}

TEST_F(InteractionTest, ReleaseAfterTheChoiceEndedDoesNothing) {
    in.keyDown(Key::Enter);
    rig.engine.CancelWaits();  // a timer expired meanwhile
    in.keyUp(Key::Enter);
    EXPECT_FALSE(rig.engine.running);
    // A key-down while nothing is offered disarms, so the next offer starts clean.
    in.keyDown(Key::Enter);
    rig.offerChoices(3, 1);
    in.keyUp(Key::Enter);
    EXPECT_FALSE(rig.engine.running);
}

TEST_F(InteractionTest, EscapeRequestsTheCloseEnterDoesNot) {
    in.keyDown(Key::Enter);
    EXPECT_EQ(host.closeRequests, 0);
    in.keyDown(Key::Escape);
    EXPECT_EQ(host.closeRequests, 1);
    EXPECT_FALSE(in.keyArmed());
}

TEST_F(InteractionTest, ClickDownAndUpOnTheSameChoiceConfirmsIt) {
    click(kOn2);
    EXPECT_EQ(sel(), "2");
    EXPECT_EQ(rig.engine.vars[kChoiceText], "choice 2");
    EXPECT_TRUE(rig.engine.running);
    EXPECT_FALSE(rig.engine.choice.active);
}

TEST_F(InteractionTest, PressOnOneReleaseOnAnotherOnlyMovesTheHighlight) {
    in.buttonDown(kOn2, kOn2);
    EXPECT_EQ(highlighted(), 2);
    EXPECT_EQ(presents, 1);
    in.buttonUp(kOn3);
    EXPECT_EQ(highlighted(), 3);
    EXPECT_FALSE(rig.engine.running);
    EXPECT_TRUE(rig.engine.choice.active);
    EXPECT_EQ(sel(), "1") << "choice_sel keeps the default until an answer";
}

TEST_F(InteractionTest, EdgesHitNothingAndAPressThereDrags) {
    in.buttonDown(Point{20, 60}, Point{220, 160});
    EXPECT_TRUE(in.dragging());
    in.pointerMove(Point{30, 65}, Point{250, 170});
    in.buttonUp(Point{50, 70});
    ASSERT_EQ(host.moves.size(), 1u);
    EXPECT_EQ(host.moves[0].x, 230);
    EXPECT_EQ(host.moves[0].y, 110);
    EXPECT_FALSE(rig.engine.running);
    EXPECT_FALSE(in.dragging());
}

TEST_F(InteractionTest, ADragThatEndsOnAChoiceConfirmsNothing) {
    in.buttonDown(kOutside, kOutside);
    in.pointerMove(kOn1, kOn1);
    in.buttonUp(kOn1);
    EXPECT_FALSE(rig.engine.running);
    EXPECT_EQ(highlighted(), 1);
}

TEST_F(InteractionTest, OverlappingChoicesLowerNumberWins) {
    rig.engine.vars[kChoicePos2] = "20,60,320,100";  // overlaps 1 and 3
    rig.offerChoices(3, 3);
    EXPECT_TRUE(in.pointerMove(Point{100, 95}, Point{}));
    EXPECT_EQ(highlighted(), 2);
    click(Point{100, 65});
    EXPECT_EQ(sel(), "1");
}

TEST_F(InteractionTest, HoverMovesTheHighlightAndShowsTheHand) {
    EXPECT_TRUE(in.pointerMove(kOn3, kOn3));
    EXPECT_EQ(highlighted(), 3);
    EXPECT_EQ(presents, 1);
    EXPECT_TRUE(in.pointerMove(Point{101, 101}, Point{}));
    EXPECT_EQ(presents, 1) << "no redraw while the highlight stays";
    EXPECT_FALSE(in.pointerMove(kOutside, kOutside));
    EXPECT_EQ(highlighted(), 3) << "the highlight stays on the last choice touched";
    rig.engine.CancelWaits();
    EXPECT_FALSE(in.pointerMove(kOn1, kOn1)) << "no targets once the choice ended";
    rig.engine.beginArea = Rect{400, 400, 450, 420};
    EXPECT_TRUE(in.pointerMove(Point{420, 410}, Point{}));
}

TEST_F(InteractionTest, BeginAreaAsksAndRestarts) {
    rig.folder.writeBytes("code.txt", "[main]\ntext,clear,again\n");
    rig.engine.CancelWaits();
    for (bool ok : {false, true}) {
        rig.engine.beginArea = Rect{400, 400, 450, 420};
        rig.fe.okAnswers = {ok};
        click(Point{420, 410});
        EXPECT_EQ(rig.engine.running, ok);
    }
    ASSERT_EQ(rig.fe.questions.size(), 2u);
    EXPECT_EQ(rig.fe.questions[0], Utf8ToCp932("最初に戻りますか？"));
    EXPECT_EQ(rig.fe.skins.size(), 1u) << "only the confirmed restart reloads the settings";
}

TEST_F(InteractionTest, AreasActOnlyWhenPressedAndReleasedInside) {
    rig.engine.beginArea = Rect{400, 400, 450, 420};
    rig.engine.exitArea = Rect{500, 400, 550, 420};
    in.buttonDown(Point{420, 410}, Point{});
    EXPECT_FALSE(in.dragging()) << "a press on an area never drags";
    in.buttonUp(Point{520, 410});  // released on the other area
    in.buttonDown(Point{600, 410}, Point{});
    in.buttonUp(Point{420, 410});  // pressed outside: a drag
    EXPECT_TRUE(rig.fe.questions.empty());
    EXPECT_EQ(host.closeRequests, 0);
}

TEST_F(InteractionTest, ExitAreaShutsDownAfterAsking) {
    rig.engine.exitArea = Rect{500, 400, 550, 420};
    rig.fe.okAnswers = {false, true};
    click(Point{520, 410});
    EXPECT_FALSE(rig.engine.quit);
    EXPECT_EQ(host.closeRequests, 0);
    click(Point{520, 410});
    EXPECT_TRUE(rig.engine.quit);
    EXPECT_EQ(host.closeRequests, 1);
    ASSERT_EQ(rig.fe.questions.size(), 2u);
    EXPECT_EQ(rig.fe.questions[1], Utf8ToCp932("終了しますか？"));
}

TEST_F(InteractionTest, ChoiceClickWinsOverAnAreaBeneathIt) {
    rig.engine.beginArea = Rect{0, 0, 640, 480};
    click(kOn1);
    EXPECT_EQ(sel(), "1");
    EXPECT_TRUE(rig.fe.questions.empty());
}

}  // namespace
}  // namespace velmora::test
