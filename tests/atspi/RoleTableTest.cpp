#include <gtest/gtest.h>

#include "platform/linux/atspi/RoleTable.h"

namespace quorvel::atspi {
namespace {

struct RoleCase {
    std::uint32_t role;  // as AT-SPI numbers it
    RoleContext context;
    const char* name;
    ValueSource value;
};

// The roles gtk3-widget-factory and gtk3-demo show, with the names a macOS host knows.
TEST(RoleTable, NamesTheRolesGtkApplicationsShow) {
    const RoleCase cases[] = {
        {75, {}, "AXApplication", ValueSource::None},              // application
        {23, {}, "AXWindow", ValueSource::None},                   // frame
        {16, {}, "AXWindow", ValueSource::None},                   // dialog
        {69, {}, "AXWindow", ValueSource::None},                   // window (a popup)
        {43, {}, "AXButton", ValueSource::None},                   // push button
        {62, {}, "AXCheckBox", ValueSource::Checked},              // toggle button
        {7, {}, "AXCheckBox", ValueSource::Checked},               // check box
        {44, {}, "AXRadioButton", ValueSource::Checked},           // radio button
        {37, {}, "AXRadioButton", ValueSource::Selected},          // page tab
        {29, {}, "AXStaticText", ValueSource::Text},               // label
        {79, {}, "AXTextField", ValueSource::Text},                // entry
        {40, {}, "AXTextField", ValueSource::Text},                // password text
        {52, {}, "AXTextField", ValueSource::Text},                // spin button
        {61, {false, false}, "AXTextField", ValueSource::Text},    // single-line text
        {61, {true, false}, "AXTextArea", ValueSource::Text},      // multi-line text
        {51, {}, "AXSlider", ValueSource::Number},                 // slider
        {48, {}, "AXScrollBar", ValueSource::Number},              // scroll bar
        {49, {}, "AXScrollArea", ValueSource::None},               // scroll pane
        {42, {}, "AXProgressIndicator", ValueSource::Number},      // progress bar
        {103, {}, "AXLevelIndicator", ValueSource::Number},        // level bar
        {3, {}, "AXBusyIndicator", ValueSource::None},             // animation (spinner)
        {11, {false, true}, "AXComboBox", ValueSource::None},      // combo box with an entry
        {11, {false, false}, "AXPopUpButton", ValueSource::None},  // combo box with a menu
        {34, {}, "AXMenuBar", ValueSource::None},                  // menu bar
        {33, {}, "AXMenu", ValueSource::None},                     // menu
        {35, {}, "AXMenuItem", ValueSource::None},                 // menu item
        {8, {}, "AXMenuItem", ValueSource::None},                  // check menu item
        {45, {}, "AXMenuItem", ValueSource::None},                 // radio menu item
        {98, {}, "AXList", ValueSource::None},                     // list box
        {55, {}, "AXTable", ValueSource::None},                    // table
        {66, {}, "AXOutline", ValueSource::None},                  // tree table
        {56, {}, "AXCell", ValueSource::None},                     // table cell
        {57, {}, "AXButton", ValueSource::None},                   // table column header
        {38, {}, "AXTabGroup", ValueSource::None},                 // page tab list
        {63, {}, "AXToolbar", ValueSource::None},                  // tool bar
        {53, {}, "AXSplitGroup", ValueSource::None},               // split pane
        {26, {}, "AXImage", ValueSource::None},                    // icon
        {88, {}, "AXLink", ValueSource::None},                     // link
        {9, {}, "AXColorWell", ValueSource::None},                 // color chooser
        {39, {}, "AXGroup", ValueSource::None},                    // panel
        {20, {}, "AXGroup", ValueSource::None},                    // filler
        {68, {}, "AXGroup", ValueSource::None},                    // viewport
        {54, {}, "AXGroup", ValueSource::None},                    // status bar
        {0, {}, "AXGroup", ValueSource::None},                     // invalid
        {9999, {}, "AXGroup", ValueSource::None},                  // a role from the future
    };
    for (const RoleCase& each : cases) {
        SCOPED_TRACE(each.role);
        EXPECT_EQ(axRoleName(each.role, each.context), each.name);
        EXPECT_EQ(valueSource(each.role), each.value);
    }
}

// What Qt, GTK 4, the browsers and LibreOffice add: the same role can be a field or an area, a
// paragraph text to read or to edit, and web pages mark alerts and separators.
TEST(RoleTable, NamesTheRolesOtherToolkitsShow) {
    RoleContext multiLine{true, false, false};
    RoleContext editable{false, false, true};
    const RoleCase cases[] = {
        {79, multiLine, "AXTextArea", ValueSource::Text},    // a web page's textarea
        {73, {}, "AXStaticText", ValueSource::Text},         // a read-only paragraph
        {73, editable, "AXTextArea", ValueSource::Text},     // a document's paragraph
        {32, {}, "AXRow", ValueSource::Text},                // list item (Qt, web)
        {50, {}, "AXSplitter", ValueSource::None},           // separator
        {2, {}, "AXApplicationAlert", ValueSource::Text},    // alert
        {101, {}, "AXApplicationAlert", ValueSource::Text},  // notification
        {85, {}, "AXGroup", ValueSource::Text},              // section (a web div)
        {110, {}, "AXGroup", ValueSource::None},             // landmark
    };
    for (const RoleCase& each : cases) {
        SCOPED_TRACE(each.role);
        EXPECT_EQ(axRoleName(each.role, each.context), each.name);
        EXPECT_EQ(valueSource(each.role), each.value);
    }
}

}  // namespace
}  // namespace quorvel::atspi
