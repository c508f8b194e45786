// The virtual-key table: every group a Windows script may name maps to its X key.
#include "host/virtual_keys.h"

#include <X11/XF86keysym.h>
#include <X11/keysym.h>
#include <gtest/gtest.h>

namespace velmora {
namespace {

TEST(VirtualKeys, Groups) {
    struct Row {
        int code;
        unsigned long keysym;
    };
    const Row rows[] = {
        {0x41, XK_a},           {0x5A, XK_z},
        {0x30, XK_0},           {0x39, XK_9},
        {0x70, XK_F1},          {0x7B, XK_F12},
        {0x87, XK_F24},         {0x25, XK_Left},
        {0x26, XK_Up},          {0x27, XK_Right},
        {0x28, XK_Down},        {0x21, XK_Prior},
        {0x22, XK_Next},        {0x23, XK_End},
        {0x24, XK_Home},        {0x2D, XK_Insert},
        {0x2E, XK_Delete},      {0x0D, XK_Return},
        {0x09, XK_Tab},         {0x1B, XK_Escape},
        {0x08, XK_BackSpace},   {0x20, XK_space},
        {0x10, XK_Shift_L},     {0x11, XK_Control_L},
        {0x12, XK_Alt_L},       {0x14, XK_Caps_Lock},
        {0xA1, XK_Shift_R},     {0xA3, XK_Control_R},
        {0xA5, XK_Alt_R},       {0x5B, XK_Super_L},
        {0x60, XK_KP_0},        {0x69, XK_KP_9},
        {0x6A, XK_KP_Multiply}, {0x6B, XK_KP_Add},
        {0x6D, XK_KP_Subtract}, {0x6E, XK_KP_Decimal},
        {0x6F, XK_KP_Divide},   {0x90, XK_Num_Lock},
        {0xBA, XK_semicolon},   {0xBB, XK_equal},
        {0xBC, XK_comma},       {0xBD, XK_minus},
        {0xBE, XK_period},      {0xBF, XK_slash},
        {0xC0, XK_grave},       {0xDB, XK_bracketleft},
        {0xDC, XK_backslash},   {0xDD, XK_bracketright},
        {0xDE, XK_apostrophe},  {0x13, XK_Pause},
        {0x2C, XK_Print},       {0xAD, XF86XK_AudioMute},
    };
    for (const Row& r : rows) EXPECT_EQ(KeysymForVirtualKey(r.code), r.keysym) << r.code;
}

TEST(VirtualKeys, CodesWithoutAKeyAreZero) {
    // Mouse buttons, input-method controls, unassigned and reserved codes.
    for (int code : {0x00, 0x01, 0x02, 0x04, 0x05, 0x06, 0x07, 0x0A, 0x16, 0x17, 0x18, 0x1A, 0x3A,
                     0x40, 0x5E, 0x88, 0xE5, 0xFF})
        EXPECT_EQ(KeysymForVirtualKey(code), 0u) << code;
}

}  // namespace
}  // namespace velmora
