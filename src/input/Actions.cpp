#include "input/Actions.h"

#include "main/Failure.h"

namespace quorvel {

namespace {

[[noreturn]] void notYet(const char* type) {
    fail(std::string("Input action not available in this build: ") + type + "; no input sent");
}

}  // namespace

void moveAction(Batch&, const Json&) {
    notYet("move");
}
void clickAction(Batch&, const Json&) {
    notYet("click");
}
void doubleClickAction(Batch&, const Json&) {
    notYet("double_click");
}
void scrollAction(Batch&, const Json&) {
    notYet("scroll");
}
void dragAction(Batch&, const Json&) {
    notYet("drag");
}
void typeAction(Batch&, const Json&) {
    notYet("type");
}
void keypressAction(Batch&, const Json&) {
    notYet("keypress");
}

}  // namespace quorvel
