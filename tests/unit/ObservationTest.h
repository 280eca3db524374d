#pragma once

// A desktop fixture for observation tests: accessibility trees written compactly as nested calls,
// whole results compared as JSON, and every element handle released by the end of each test.

#include <map>
#include <string>
#include <vector>

#include "DesktopTest.h"
#include "observe/AccessibilityTree.h"

namespace quorvel {

using Attributes = std::map<std::string, StoredValue>;

// "<prefix><number>", as leaves and chains are titled.
inline std::string titled(const std::string& prefix, int number) {
    std::string title = prefix;
    title += std::to_string(number);
    return title;
}

class ObservationTest : public DesktopTest {
  protected:
    void TearDown() override { EXPECT_EQ(desktop.liveElementHandles(), 0); }

    // An element titled `title` with `children` in that order and any further attributes.
    ElementId node(const std::string& title, const std::vector<ElementId>& children = {},
                   Attributes more = {}) {
        more.emplace("AXTitle", title);
        ElementId id = desktop.addElement(std::move(more));
        if (!children.empty()) {
            desktop.setChildren(id, children);
        }
        return id;
    }

    // `count` leaves titled "<prefix>1" to "<prefix><count>".
    std::vector<ElementId> leaves(int count, const std::string& prefix = "c") {
        std::vector<ElementId> ids;
        for (int i = 1; i <= count; ++i) {
            ids.push_back(node(titled(prefix, i)));
        }
        return ids;
    }

    // A handle to the element `id`, made the way the driver makes one: as a target's application
    // element.
    ElementHandle handle(ElementId id) {
        desktop.setApplicationElement(target, id);
        return desktop.applicationElement(target);
    }

    // The walk of `root` from `depth` with `budget`; `left` receives what remains.
    Json walk(ElementId root, int depth = 0, int budget = 180, int* left = nullptr) {
        ElementHandle element = handle(root);
        Json result = tree(runtime, element, depth, budget);
        if (left) {
            *left = budget;
        }
        return result;
    }

    int readsOf(const std::string& attribute) const {
        int count = 0;
        for (const std::string& call : desktop.accessibilityCalls) {
            if (call.rfind("read ", 0) == 0 && call.size() > attribute.size() &&
                call.compare(call.size() - attribute.size() - 1, std::string::npos,
                             " " + attribute) == 0) {
                ++count;
            }
        }
        return count;
    }
};

// Leaf records {"AXTitle": "<prefix>1"} to {"AXTitle": "<prefix><count>"}.
inline Json leafRecords(int count, const std::string& prefix = "c") {
    Json records = Json::array();
    for (int i = 1; i <= count; ++i) {
        records.push_back({{"AXTitle", titled(prefix, i)}});
    }
    return records;
}

}  // namespace quorvel
