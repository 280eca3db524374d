#include "platform/linux/x11/KeyboardMap.h"

#include <xkbcommon/xkbcommon-x11.h>

#include <algorithm>
#include <map>

#include "platform/linux/common/MonotonicClock.h"
#include "platform/linux/x11/SpareKeycodes.h"
#include "platform/linux/x11/XcbXkb.h"

namespace quorvel::x11 {

namespace {

// The server held by this connection for as long as this lives: grabbed here unless the
// connection holds it already, and known to be held once a reply has come after the grab.
class ServerHold {
  public:
    explicit ServerHold(XConnection& connection)
        : connection_(connection), grabbedHere_(!connection.grabbed()) {
        if (grabbedHere_) {
            connection_.grabServer();
        }
        held_ = connection_.grabbed() && connection_.sync();
    }
    ~ServerHold() {
        if (grabbedHere_) {
            connection_.ungrabServer();
        }
    }
    ServerHold(const ServerHold&) = delete;
    ServerHold& operator=(const ServerHold&) = delete;

    bool held() const { return held_; }

  private:
    XConnection& connection_;
    bool grabbedHere_;
    bool held_ = false;
};

constexpr std::uint16_t selectedEvents = XCB_XKB_EVENT_TYPE_NEW_KEYBOARD_NOTIFY |
                                         XCB_XKB_EVENT_TYPE_MAP_NOTIFY |
                                         XCB_XKB_EVENT_TYPE_STATE_NOTIFY;
constexpr std::uint16_t mapParts =
    XCB_XKB_MAP_PART_KEY_TYPES | XCB_XKB_MAP_PART_KEY_SYMS | XCB_XKB_MAP_PART_MODIFIER_MAP |
    XCB_XKB_MAP_PART_EXPLICIT_COMPONENTS | XCB_XKB_MAP_PART_KEY_ACTIONS |
    XCB_XKB_MAP_PART_VIRTUAL_MODS | XCB_XKB_MAP_PART_VIRTUAL_MOD_MAP;
constexpr std::uint16_t newKeyboardDetails =
    XCB_XKB_NKN_DETAIL_KEYCODES | XCB_XKB_NKN_DETAIL_GEOMETRY | XCB_XKB_NKN_DETAIL_DEVICE_ID;
// The state that decides levels, but for the modifiers of held keys: the driver's own Shift
// presses then send no event.
constexpr std::uint16_t stateParts =
    XCB_XKB_STATE_PART_MODIFIER_LATCH | XCB_XKB_STATE_PART_MODIFIER_LOCK |
    XCB_XKB_STATE_PART_GROUP_BASE | XCB_XKB_STATE_PART_GROUP_LATCH | XCB_XKB_STATE_PART_GROUP_LOCK;

}  // namespace

std::span<const Keysym> KeyboardMap::Rows::row(xcb_keycode_t keycode) const {
    std::size_t start = static_cast<std::size_t>(keycode - first) * perKeycode;
    if (keycode < first || start + perKeycode > keysyms.size()) {
        return {};
    }
    return std::span<const Keysym>(keysyms).subspan(start, perKeycode);
}

bool KeyboardMap::setUp() {
    if (setUpTried_) {
        return xkb_;
    }
    setUpTried_ = true;
    if (!connection_.hasExtension("XKEYBOARD")) {
        return false;
    }
    context_ = quietXkbContext();
    if (!context_) {
        return false;
    }
    std::uint16_t major = 0;
    std::uint16_t minor = 0;
    std::uint8_t firstError = 0;
    if (!xkb_x11_setup_xkb_extension(
            connection_.xcb(), XKB_X11_MIN_MAJOR_XKB_VERSION, XKB_X11_MIN_MINOR_XKB_VERSION,
            XKB_X11_SETUP_XKB_EXTENSION_NO_FLAGS, &major, &minor, &firstEvent_, &firstError)) {
        return false;
    }
    device_ = xkb_x11_get_core_keyboard_device_id(connection_.xcb());
    if (device_ < 0) {
        return false;
    }
    xcb_xkb_select_events_details_t details{};
    details.affectNewKeyboard = newKeyboardDetails;
    details.newKeyboardDetails = newKeyboardDetails;
    details.affectState = stateParts;
    details.stateDetails = stateParts;
    xcb_xkb_select_events_aux(connection_.xcb(), static_cast<xcb_xkb_device_spec_t>(device_),
                              selectedEvents, 0, 0, mapParts, mapParts, &details);
    xkb_ = true;
    return true;
}

bool KeyboardMap::load() {
    auto device = static_cast<xcb_xkb_device_spec_t>(device_);
    xcb_xkb_get_state_cookie_t cookie = xcb_xkb_get_state(connection_.xcb(), device);
    XkbKeymapPtr keymap(xkb_x11_keymap_new_from_device(context_.get(), connection_.xcb(), device_,
                                                       XKB_KEYMAP_COMPILE_NO_FLAGS));
    ReplyPtr<xcb_xkb_get_state_reply_t> state =
        connection_.reply<xcb_xkb_get_state_reply_t>(cookie);
    if (!keymap || !state) {
        layout_ = KeyboardLayout();
        return false;
    }
    layout_ =
        KeyboardLayout(std::move(keymap), {state->latchedMods, state->lockedMods, state->baseGroup,
                                           state->latchedGroup, state->lockedGroup});
    loadedAt_ = cookie.sequence;
    stale_ = false;
    return true;
}

void KeyboardMap::takeEvents() {
    if (!connection_.usable()) {
        return;
    }
    std::optional<std::uint8_t> xkbEvents;
    if (xkb_) {
        xkbEvents = firstEvent_;
    }
    while (xcb_generic_event_t* raw = xcb_poll_for_event(connection_.xcb())) {
        ReplyPtr<xcb_generic_event_t> event(raw);
        KeyboardEvent decoded =
            decodeKeyboardEvent(*event, xkbEvents, static_cast<std::uint8_t>(device_));
        if (decoded.kind == KeyboardEvent::Kind::Other || decoded.sequence < loadedAt_) {
            continue;
        }
        bool mapChanged = decoded.kind == KeyboardEvent::Kind::MapChanged;
        bool own = mapChanged && std::find(ownChanges_.begin(), ownChanges_.end(),
                                           decoded.sequence) != ownChanges_.end();
        bool differs = mapChanged || !(decoded.state == layout_.state());
        if (!own && differs && decoded.sequence < lastUnguardedPress_) {
            changedUnderUs_ = true;
        }
        if (mapChanged) {
            stale_ = true;
        } else {
            layout_.setState(decoded.state);
        }
    }
}

bool KeyboardMap::current() {
    takeEvents();
    if (!stale_) {
        return true;
    }
    if (setUpTried_ && !xkb_) {
        return true;  // a server without XKB: only the driver's own bindings are known
    }
    ServerHold hold(connection_);
    if (!hold.held() || !setUp()) {
        return setUpTried_ && !xkb_;
    }
    // The reply that proved the hold may have brought events in with it.
    takeEvents();
    return load();
}

std::optional<KeyPosition> KeyboardMap::find(Keysym keysym) {
    Keysym named = namedKeysym(keysym);
    std::optional<KeyPosition> found;
    if (layout_.loaded()) {
        found = layout_.find(keysym);
        if (!found && named != keysym) {
            found = layout_.find(named);
        }
    } else {
        for (const Binding& binding : bound_) {
            for (bool shifted : {false, true}) {
                Keysym level = binding.levels[shifted ? 1 : 0];
                if (!found && (level == keysym || level == named)) {
                    found = KeyPosition{binding.keycode, shifted};
                }
            }
        }
    }
    if (found) {
        for (Binding& binding : bound_) {
            if (binding.keycode == found->keycode) {
                binding.lastUse = ++uses_;
            }
        }
    }
    return found;
}

bool KeyboardMap::hasAll(const std::vector<Keysym>& keysyms) {
    return std::all_of(keysyms.begin(), keysyms.end(),
                       [this](Keysym keysym) { return find(keysym).has_value(); });
}

std::optional<xcb_keycode_t> KeyboardMap::shiftKey() {
    return layout_.shiftKey();
}

std::optional<KeyboardMap::Rows> KeyboardMap::readRows() {
    const xcb_setup_t* setup = xcb_get_setup(connection_.xcb());
    auto count = static_cast<std::uint8_t>(setup->max_keycode - setup->min_keycode + 1);
    ReplyPtr<xcb_get_keyboard_mapping_reply_t> reply =
        connection_.reply<xcb_get_keyboard_mapping_reply_t>(
            xcb_get_keyboard_mapping(connection_.xcb(), setup->min_keycode, count));
    if (!reply || reply->keysyms_per_keycode == 0) {
        return std::nullopt;
    }
    Rows rows;
    rows.first = setup->min_keycode;
    rows.perKeycode = reply->keysyms_per_keycode;
    const xcb_keysym_t* keysyms = xcb_get_keyboard_mapping_keysyms(reply.get());
    rows.keysyms.assign(keysyms, keysyms + xcb_get_keyboard_mapping_keysyms_length(reply.get()));
    return rows;
}

void KeyboardMap::write(const std::vector<Row>& rows, std::uint8_t perKeycode) {
    std::map<xcb_keycode_t, std::array<Keysym, 2>> levels(rows.begin(), rows.end());
    std::vector<xcb_keycode_t> keycodes;
    for (const auto& [keycode, row] : levels) {
        keycodes.push_back(keycode);
    }
    for (const KeycodeRun& run : keycodeRuns(keycodes)) {
        std::vector<xcb_keysym_t> data(static_cast<std::size_t>(run.count) * perKeycode, 0);
        for (std::size_t index = 0; index < run.count; ++index) {
            const std::array<Keysym, 2>& row =
                levels[static_cast<xcb_keycode_t>(run.first + index)];
            for (std::size_t level = 0; level < 2 && level < perKeycode; ++level) {
                data[index * perKeycode + level] = row[level];
            }
        }
        xcb_void_cookie_t cookie = xcb_change_keyboard_mapping(connection_.xcb(), run.count,
                                                               run.first, perKeycode, data.data());
        ownChanges_.push_back(cookie.sequence);
    }
}

void KeyboardMap::bind(const std::vector<Keysym>& keysyms, Nanos lastKeyEvent) {
    if (!connection_.usable()) {
        return;
    }
    // What the keymap lacks, each once: a cased letter with both its cases, a keysym that may
    // share a keycode on one level, any other on both levels of a keycode of its own.
    std::vector<std::array<Keysym, 2>> whole;
    std::vector<Keysym> single;
    for (Keysym keysym : keysyms) {
        if (find(keysym)) {
            continue;
        }
        std::array<Keysym, 2> levels = bindingLevels(keysym);
        if (!mayShareKeycode(levels[0])) {
            if (std::find(whole.begin(), whole.end(), levels) == whole.end()) {
                whole.push_back(levels);
            }
        } else if (std::find(single.begin(), single.end(), levels[0]) == single.end()) {
            single.push_back(levels[0]);
        }
    }
    if (whole.empty() && single.empty()) {
        return;
    }
    // A binding that this change needs is never the one reused.
    auto neededNow = [&](const Binding& binding) {
        return std::any_of(keysyms.begin(), keysyms.end(), [&](Keysym keysym) {
            Keysym named = namedKeysym(keysym);
            return binding.levels[0] == named || binding.levels[1] == named;
        });
    };
    std::size_t keycodesNeeded = whole.size() + (single.size() + 1) / 2;
    bool reusable = std::any_of(bound_.begin(), bound_.end(),
                                [&](const Binding& binding) { return !neededNow(binding); });
    bool settled = false;
    if (reusable && spareLeft_ && *spareLeft_ < keycodesNeeded) {
        // Reuse waits until the applications are done with the keys; the last key event goes
        // out before the wait, and the server is not held during it.
        connection_.flush();
        sleepUntil(lastKeyEvent + settleBeforeRebinding);
        settled = true;
    }
    ServerHold hold(connection_);
    if (!hold.held()) {
        return;
    }
    std::optional<Rows> rows = readRows();
    if (!rows) {
        return;
    }
    perKeycode_ = rows->perKeycode;
    // A binding that another client has changed since is that client's key now.
    std::erase_if(bound_, [&](const Binding& binding) {
        return !rowHoldsOnly(rows->row(binding.keycode), binding.levels);
    });
    std::vector<Row> changes;
    // A keycode with one keysym, pressed alone so far, takes a second on its Shift level: an
    // event of it that an application handles after the change still finds its first.
    for (Binding& binding : bound_) {
        if (!single.empty() && binding.levels[0] == binding.levels[1] &&
            mayShareKeycode(binding.levels[0]) && !binding.pressedWithModifiers) {
            binding.levels[1] = single.front();
            binding.lastUse = ++uses_;
            single.erase(single.begin());
            changes.push_back({binding.keycode, binding.levels});
        }
    }
    std::vector<std::array<Keysym, 2>> fresh = whole;
    for (std::size_t index = 0; index < single.size(); index += 2) {
        fresh.push_back({single[index], single[std::min(index + 1, single.size() - 1)]});
    }
    std::vector<xcb_keycode_t> spare;
    for (std::size_t index = 0; index * rows->perKeycode < rows->keysyms.size(); ++index) {
        auto keycode = static_cast<xcb_keycode_t>(rows->first + index);
        if (rowIsEmpty(rows->row(keycode))) {
            spare.push_back(keycode);
        }
    }
    std::vector<xcb_keycode_t> chosen = chooseSpareKeycodes(spare, fresh.size());
    spareLeft_ = spare.size() - chosen.size();
    if (chosen.size() < fresh.size() && settled) {
        std::sort(bound_.begin(), bound_.end(),
                  [](const Binding& a, const Binding& b) { return a.lastUse < b.lastUse; });
        for (auto binding = bound_.begin();
             binding != bound_.end() && chosen.size() < fresh.size();) {
            bool changedNow = std::any_of(changes.begin(), changes.end(), [&](const Row& row) {
                return row.first == binding->keycode;
            });
            if (neededNow(*binding) || changedNow) {
                ++binding;
                continue;
            }
            chosen.push_back(binding->keycode);
            binding = bound_.erase(binding);
        }
    }
    fresh.resize(std::min(fresh.size(), chosen.size()));
    for (std::size_t index = 0; index < fresh.size(); ++index) {
        changes.push_back({chosen[index], fresh[index]});
        bound_.push_back({chosen[index], fresh[index], ++uses_});
    }
    if (changes.empty()) {
        return;
    }
    write(changes, rows->perKeycode);
    // The next key event must find the new rows in place, and the look-ups the new keymap.
    connection_.sync();
    lastChange_ = monotonicNow();
    takeEvents();
    stale_ = true;
    if (xkb_) {
        load();
    }
}

void KeyboardMap::restore(Nanos lastKeyEvent) {
    if (bound_.empty() || !connection_.usable()) {
        return;
    }
    connection_.flush();
    sleepUntil(lastKeyEvent + settleBeforeRebinding);
    std::vector<xcb_keycode_t> restoring;
    std::uint8_t perKeycode = perKeycode_;
    {
        ServerHold hold(connection_);
        if (hold.held()) {
            std::optional<Rows> rows = readRows();
            if (rows) {
                perKeycode = rows->perKeycode;
                for (const Binding& binding : bound_) {
                    if (rowHoldsOnly(rows->row(binding.keycode), binding.levels)) {
                        restoring.push_back(binding.keycode);
                    }
                }
            }
        } else {
            // The server answers another client for now, and these requests wait their turn
            // behind it: only the driver's own keycodes are put back, unread.
            for (const Binding& binding : bound_) {
                restoring.push_back(binding.keycode);
            }
        }
        if (perKeycode > 0) {
            std::vector<Row> empty;
            for (xcb_keycode_t keycode : restoring) {
                empty.push_back({keycode, {0, 0}});
            }
            write(empty, perKeycode);
        }
        if (hold.held()) {
            connection_.sync();
        }
    }
    bound_.clear();
    spareLeft_.reset();
    stale_ = true;
}

void KeyboardMap::pressed(xcb_keycode_t keycode, bool modifier, bool withModifiers,
                          std::uint32_t sequence, bool guarded) {
    if (!modifier) {
        layout_.useLatches();
    }
    for (Binding& binding : bound_) {
        if (binding.keycode == keycode && withModifiers) {
            binding.pressedWithModifiers = true;
        }
    }
    if (!guarded) {
        lastUnguardedPress_ = std::max(lastUnguardedPress_, sequence);
    }
}

}  // namespace quorvel::x11
