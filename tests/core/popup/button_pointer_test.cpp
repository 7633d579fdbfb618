#include "core/popup/button_pointer.h"

#include <gtest/gtest.h>

using namespace velmora;

namespace {

// The rule both desktops' image buttons follow; the Qt popup's pointer tests
// check the hand-over between buttons on top of it.
TEST(ButtonPointerTest, AReleaseThatHitsClicksWhereverThePressWas) {
    ButtonPointer b;
    EXPECT_TRUE(b.Enter());
    EXPECT_EQ(b.Look(), ButtonLook::Hover);
    EXPECT_FALSE(b.Enter());  // already hovering: nothing to repaint
    EXPECT_TRUE(b.Press(true));
    EXPECT_FALSE(b.Enter());  // moves while held change nothing
    EXPECT_TRUE(b.Release(true));
    EXPECT_FALSE(b.Down());

    // Pressed elsewhere (another button held the press), released here.
    ButtonPointer other;
    EXPECT_TRUE(other.Release(true));
    // Pressed on a transparent pixel: no pressed image; released off it: no click.
    EXPECT_FALSE(other.Press(false));
    EXPECT_FALSE(other.Release(false));
}

TEST(ButtonPointerTest, LeavingClearsTheHeldLookAndADisabledButtonDoesNothing) {
    ButtonPointer b;
    b.Enter();
    b.Press(true);
    EXPECT_TRUE(b.Leave());
    EXPECT_FALSE(b.Down());
    EXPECT_EQ(b.Look(), ButtonLook::Normal);

    b.SetDisabled(true);
    EXPECT_EQ(b.Look(), ButtonLook::Disabled);
    EXPECT_FALSE(b.Enter());
    EXPECT_FALSE(b.Press(true));
    EXPECT_FALSE(b.Release(true));
    EXPECT_FALSE(b.Leave());
    EXPECT_EQ(b.Look(), ButtonLook::Disabled);
    b.SetDisabled(false);
    EXPECT_EQ(b.Look(), ButtonLook::Normal);
    EXPECT_TRUE(b.Enter());
}

}  // namespace
