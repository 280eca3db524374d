#include "batch/Admission.h"

#include <cmath>
#include <limits>

#include "main/Failure.h"
#include "main/Unicode.h"
#include "target/Focus.h"

namespace quorvel {

namespace {

constexpr std::string_view inputActionTypes[] = {"click",  "double_click", "drag", "move",
                                                 "scroll", "keypress",     "type", "focus"};

const Json* actionList(const Json& request) {
    auto actions = request.find("actions");
    if (actions == request.end() || !actions->is_array()) {
        return nullptr;
    }
    for (const Json& action : *actions) {
        if (!action.is_object()) {
            return nullptr;
        }
    }
    return &*actions;
}

std::size_t typedLength(const Json& actions) {
    std::size_t total = 0;
    for (const Json& action : actions) {
        auto text = action.find("text");
        if (text != action.end() && text->is_string()) {
            total += utf16Length(text->get_ref<const std::string&>());
        }
    }
    return total;
}

bool sendsInput(const Json& actions) {
    for (const Json& action : actions) {
        if (isInputActionType(actionType(action))) {
            return true;
        }
    }
    return false;
}

}  // namespace

std::string actionType(const Json& action) {
    auto type = action.find("type");
    return type != action.end() && type->is_string() ? type->get<std::string>() : std::string();
}

bool isInputActionType(std::string_view type) {
    for (std::string_view input : inputActionTypes) {
        if (type == input) {
            return true;
        }
    }
    return false;
}

std::optional<Pid> targetPidOf(const Json& request) {
    auto pid = request.find("pid");
    if (pid == request.end()) {
        return std::nullopt;
    }
    constexpr auto lowest = std::numeric_limits<Pid>::min();
    constexpr auto highest = std::numeric_limits<Pid>::max();
    if (pid->is_number_unsigned()) {
        auto value = pid->get<std::uint64_t>();
        return value <= std::uint64_t{highest} ? std::optional<Pid>(static_cast<Pid>(value))
                                               : std::nullopt;
    }
    if (pid->is_number_integer()) {
        auto value = pid->get<std::int64_t>();
        return value >= lowest && value <= highest ? std::optional<Pid>(static_cast<Pid>(value))
                                                   : std::nullopt;
    }
    if (pid->is_number_float()) {
        double value = pid->get<double>();
        if (std::trunc(value) == value && value >= lowest && value <= highest) {
            return static_cast<Pid>(value);
        }
    }
    // A string, array, object, null, fraction or out-of-range number counts as absent.
    return std::nullopt;
}

std::optional<Pid> admit(Runtime& runtime, const Json& request) {
    checkCancellation(runtime);  // the first use of the deadline: the 240 s start now
    const Json* actions = actionList(request);
    if (!actions || actions->size() > maxActions) {
        fail("Invalid action batch");
    }
    if (typedLength(*actions) > typingBudgetUtf16) {
        fail("Typing budget exceeded; no input sent");
    }
    std::optional<Pid> targetPid = targetPidOf(request);
    if (sendsInput(*actions)) {
        // A query left unanswered because the request ended says nothing of the permission.
        if (!runtime.platform.screenCaptureAllowed()) {
            checkCancellation(runtime);
            fail("Screen Recording permission is missing. No input sent.");
        }
        if (!runtime.platform.accessibilityTrusted()) {
            checkCancellation(runtime);
            fail("Accessibility permission is missing for Quorvel. No input sent.");
        }
        if (!targetPid) {
            fail("pid is required for input; select it from the windows observation");
        }
        focus(runtime, *targetPid);
    }
    return targetPid;
}

}  // namespace quorvel
