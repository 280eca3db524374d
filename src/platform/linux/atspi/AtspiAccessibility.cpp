#include "platform/linux/atspi/AtspiAccessibility.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "platform/linux/atspi/AccessibilityConnection.h"
#include "platform/linux/atspi/AttributeConversion.h"
#include "platform/linux/atspi/ReplyParsing.h"
#include "platform/linux/atspi/RoleTable.h"

namespace quorvel::atspi {

namespace {

// Until the driver sets one, a read waits as long as the driver's own messaging timeout.
constexpr int defaultTimeoutMilliseconds = 100;
// A pause this long is time enough to reach the application the reads after it are about.
constexpr Nanos longPause = std::chrono::milliseconds(100);
// Finding an application asks the registry and the bus daemon, not the application.
constexpr int lookupTimeoutMilliseconds = 250;

class AtspiElement final : public Element {
  public:
    AtspiElement(ObjectRef ref, Pid pid) : ref(std::move(ref)), pid(pid) {}
    ObjectRef ref;
    Pid pid;
    mutable int timeoutMilliseconds = defaultTimeoutMilliseconds;
};

const AtspiElement* asAtspi(const Element& element) {
    return dynamic_cast<const AtspiElement*>(&element);
}

ElementHandle makeElement(ObjectRef ref, Pid pid) {
    return std::make_unique<AtspiElement>(std::move(ref), pid);
}

AttributeValue elementList(std::vector<ObjectRef> refs, Pid pid) {
    AttributeArray list;
    list.reserve(refs.size());
    for (ObjectRef& ref : refs) {
        list.push_back(AttributeValue{makeElement(std::move(ref), pid)});
    }
    return AttributeValue{std::move(list)};
}

// The reads one element needs, on the view of its application.
class ElementReader {
  public:
    ElementReader(AtspiAccessibility& accessibility, ApplicationView& view,
                  const AtspiElement& element, const WindowLinks& links)
        : accessibility_(accessibility),
          view_(view),
          element_(element),
          links_(links),
          timeout_(element.timeoutMilliseconds) {}

    std::optional<AttributeValue> read(std::string_view name) {
        const std::string& path = element_.ref.path;
        if (name == "AXRole") {
            const AccessibleNode* node = view_.node(path, timeout_);
            if (!node) {
                return std::nullopt;
            }
            if (isWindow(path)) {
                return AttributeValue{std::string("AXWindow")};
            }
            bool comboBox = node->role == static_cast<std::uint32_t>(Role::ComboBox);
            bool textChild = comboBox && hasTextChild(path);
            return AttributeValue{roleName(*node, textChild)};
        }
        if (name == "AXTitle") {
            return title(path);
        }
        if (name == "AXDescription") {
            const AccessibleNode* node = view_.node(path, timeout_);
            return node ? std::optional(AttributeValue{node->description}) : std::nullopt;
        }
        if (name == "AXValue") {
            return value(path);
        }
        if (name == "AXFocused") {
            const AccessibleNode* node = view_.node(path, timeout_);
            return node ? std::optional(AttributeValue{node->has(State::Focused)}) : std::nullopt;
        }
        if (name == "AXPosition" || name == "AXSize") {
            std::optional<Extents> extents = placed(path);
            if (!extents) {
                return std::nullopt;
            }
            return name == "AXPosition" ? positionValue(*extents) : sizeValue(*extents);
        }
        if (name == "AXChildren") {
            std::optional<std::vector<ObjectRef>> children = shownChildren(path);
            if (!children) {
                return std::nullopt;
            }
            return elementList(std::move(*children), element_.pid);
        }
        if (path != applicationPath) {
            return std::nullopt;
        }
        if (name == "AXWindows") {
            return elementList(windows(), element_.pid);
        }
        if (name == "AXFocusedWindow") {
            return asElement(activeWindow());
        }
        if (name == "AXMainWindow") {
            std::optional<ObjectRef> main = activeWindow();
            if (!main) {
                main = firstShowingWindow();
            }
            return asElement(main);
        }
        if (name == "AXFocusedUIElement") {
            return asElement(focusedElement());
        }
        return std::nullopt;
    }

  private:
    // The application's children are its top-level windows, whatever role the toolkit gives
    // them (Qt calls a top-level widget a filler).
    bool isWindow(const std::string& path) {
        return path != applicationPath && view_.windowOf(path) == std::optional(path);
    }

    std::optional<AttributeValue> asElement(std::optional<ObjectRef> ref) {
        if (!ref) {
            return std::nullopt;
        }
        return AttributeValue{makeElement(std::move(*ref), element_.pid)};
    }

    // Toolkits keep hidden parts in the tree (Chromium the whole browser interface of an
    // application window), marked neither visible nor showing, and the contents of closed
    // menus, visible but not showing (LibreOffice); the screen shows nothing of them, and a tree
    // of them would fill the node budget. Of a long list, ranges are read until enough of it
    // shows: more than a walk takes of one object, so that the list is still seen to be cut.
    std::optional<std::vector<ObjectRef>> shownChildren(const std::string& path) {
        constexpr std::size_t enoughShown = 128;
        constexpr int rangesAtMost = 4;
        const AccessibleNode* parent = view_.node(path, timeout_);
        bool menu = parent && parent->role == static_cast<std::uint32_t>(Role::Menu);
        auto hidden = [&](const ObjectRef& child) {
            const AccessibleNode* node =
                child.bus == element_.ref.bus ? view_.node(child.path, timeout_) : nullptr;
            return node && !node->has(State::Showing) && (menu || !node->has(State::Visible));
        };
        std::optional<std::vector<ObjectRef>> children = view_.children(path, timeout_);
        for (int ranges = 1; children; ++ranges) {
            std::erase_if(*children, hidden);
            if (children->size() >= enoughShown || ranges >= rangesAtMost ||
                !view_.readMoreChildren(path, timeout_)) {
                break;
            }
            children = view_.children(path, timeout_);
        }
        return children;
    }

    bool hasTextChild(const std::string& path) {
        auto children = view_.children(path, timeout_);
        if (!children) {
            return false;
        }
        return std::any_of(children->begin(), children->end(), [&](const ObjectRef& child) {
            const AccessibleNode* node = view_.node(child.path, timeout_);
            return node && child.bus == element_.ref.bus &&
                   valueSource(node->role) == ValueSource::Text &&
                   roleName(*node, false) != "AXStaticText";
        });
    }

    // The object's place in the window system's pixels, through the mapping of its window.
    std::optional<Extents> placed(const std::string& path) {
        // Only what is inside a window is placed: the application object is in none, whatever
        // extents it claims.
        if (path == applicationPath) {
            return std::nullopt;
        }
        std::optional<Extents> extents = view_.extents(path, timeout_);
        std::optional<std::string> window = view_.windowOf(path);
        if (!extents || !window) {
            return std::nullopt;
        }
        std::optional<FrameMapping> mapping = accessibility_.mappingOf(
            view_, ObjectRef{element_.ref.bus, *window}, element_.pid, timeout_);
        std::optional<Extents> frame = view_.extents(*window, timeout_);
        if (!mapping || !frame) {
            return std::nullopt;
        }
        // An object outside its window is not on screen whatever its states say: Qt marks the
        // rows of a combo box's closed pop-up showing, at the top left of the screen.
        Extents placed = onServer(*mapping, *extents);
        if (!overlaps(placed, onServer(*mapping, *frame))) {
            return std::nullopt;
        }
        const AccessibleNode* node = view_.node(path, timeout_);
        if (node && node->role == static_cast<std::uint32_t>(Role::SpinButton)) {
            return withoutStepButtons(placed);
        }
        return placed;
    }

    std::optional<AttributeValue> title(const std::string& path) {
        const AccessibleNode* node = view_.node(path, timeout_);
        if (!node) {
            return std::nullopt;
        }
        std::string name = node->name;
        if (name.empty() && isWindow(path)) {
            // Toolkits often leave a window's accessible name empty; its title bar is not.
            name = accessibility_.windowTitle(view_, element_.ref, element_.pid, timeout_);
        }
        return AttributeValue{std::move(name)};
    }

    std::optional<AttributeValue> value(const std::string& path) {
        const AccessibleNode* node = view_.node(path, timeout_);
        if (!node) {
            return std::nullopt;
        }
        ValueSource source = valueSource(node->role);
        switch (source) {
            case ValueSource::Text: {
                std::optional<std::string> text = view_.text(path, timeout_);
                return text ? std::optional(AttributeValue{std::move(*text)}) : std::nullopt;
            }
            case ValueSource::Number: {
                std::optional<double> number = view_.currentValue(path, timeout_);
                return number ? std::optional(AttributeValue{*number}) : std::nullopt;
            }
            case ValueSource::Checked:
            case ValueSource::Selected:
            case ValueSource::None:
                return stateValue(source, *node);
        }
        return std::nullopt;
    }

    std::vector<ObjectRef> windows() {
        std::vector<ObjectRef> found;
        auto children = view_.children(applicationPath, timeout_);
        if (!children) {
            return found;
        }
        for (const ObjectRef& child : *children) {
            const AccessibleNode* node = view_.node(child.path, timeout_);
            if (child.bus == element_.ref.bus && node) {
                found.push_back(child);
            }
        }
        return found;
    }

    // The window that has the keyboard among the application's own.
    std::optional<ObjectRef> activeWindow() {
        for (ObjectRef& window : windows()) {
            const AccessibleNode* node = view_.node(window.path, timeout_);
            if (node && node->has(State::Active)) {
                return window;
            }
        }
        return std::nullopt;
    }

    std::optional<ObjectRef> firstShowingWindow() {
        for (ObjectRef& window : windows()) {
            const AccessibleNode* node = view_.node(window.path, timeout_);
            if (node && node->has(State::Showing)) {
                return window;
            }
        }
        return std::nullopt;
    }

    // Toolkits keep the focused state on the last focused widget of an application that is not
    // in front, so the focus is only reported while the application is frontmost.
    std::optional<ObjectRef> focusedElement() {
        if (!links_.frontmostPid || links_.frontmostPid() != std::optional<Pid>(element_.pid)) {
            return std::nullopt;
        }
        std::optional<ObjectRef> window = activeWindow();
        if (!window) {
            return std::nullopt;
        }
        return view_.focusedIn(window->path, timeout_);
    }

    AtspiAccessibility& accessibility_;
    ApplicationView& view_;
    const AtspiElement& element_;
    const WindowLinks& links_;
    int timeout_;
};

}  // namespace

AtspiAccessibility::AtspiAccessibility(WindowLinks links) : links_(std::move(links)) {}

AtspiAccessibility::~AtspiAccessibility() = default;

DBusConnection* AtspiAccessibility::connection() {
    if (!connectionTried_) {
        connectionTried_ = true;
        connection_ = connectToAccessibilityBus();
    }
    return connection_.get();
}

bool AtspiAccessibility::available() {
    DBusConnection* bus = connection();
    if (!bus) {
        return false;
    }
    // A bus that went away since the last call shows only once the connection reads its end;
    // reading without waiting does not take anything from the queue.
    dbus_connection_read_write(bus, 0);
    return dbus_connection_get_is_connected(bus);
}

ApplicationView& AtspiAccessibility::view(const std::string& bus) {
    takeInSharedReads(bus);
    auto& slot = views_[bus];
    if (!slot) {
        slot = std::make_unique<ApplicationView>(connection(), bus, giveUp_);
        slot->readExtentsFrom(links_.windowRelativeExtents ? 1 : 0);
    }
    return *slot;
}

std::vector<std::optional<std::uint32_t>> AtspiAccessibility::ownersOf(
    const std::vector<std::string>& names) {
    std::vector<MessagePtr> calls;
    for (const std::string& name : names) {
        MessagePtr call = methodCall("org.freedesktop.DBus", "/org/freedesktop/DBus",
                                     "org.freedesktop.DBus", "GetConnectionUnixProcessID");
        const char* text = name.c_str();
        if (call &&
            !dbus_message_append_args(call.get(), DBUS_TYPE_STRING, &text, DBUS_TYPE_INVALID)) {
            call.reset();
        }
        calls.push_back(std::move(call));
    }
    std::vector<std::optional<std::uint32_t>> owners;
    for (const BusReply& reply : callAll(connection(), calls, lookupTimeoutMilliseconds, giveUp_)) {
        owners.push_back(parseUnsigned(reply.value.get()));
    }
    return owners;
}

std::optional<std::string> AtspiAccessibility::busOf(Pid pid) {
    DBusConnection* bus = connection();
    if (!bus || pid <= 0) {
        return std::nullopt;
    }
    takeInSharedReads();
    const auto ownedBy = [pid](std::optional<std::uint32_t> owner) {
        return owner == static_cast<std::uint32_t>(pid);
    };
    // A unique name is never given to another connection: the name found before still names
    // this application while the bus says that the process owns it.
    if (reached_ && reached_->first == pid && ownedBy(ownersOf({reached_->second})[0])) {
        return reached_->second;
    }
    BusReply listed = callOne(bus,
                              methodCall("org.a11y.atspi.Registry", applicationPath,
                                         "org.a11y.atspi.Accessible", "GetChildren"),
                              lookupTimeoutMilliseconds);
    std::vector<std::string> names;
    for (const ObjectRef& application : parseReferences(listed.value.get())) {
        names.push_back(application.bus);
    }
    std::vector<std::optional<std::uint32_t>> owners = ownersOf(names);
    for (std::size_t index = 0; index < names.size(); ++index) {
        if (ownedBy(owners[index])) {
            return names[index];
        }
    }
    return std::nullopt;
}

ElementHandle AtspiAccessibility::applicationElement(Pid pid) {
    std::optional<std::string> bus = busOf(pid);
    if (!bus) {
        return nullptr;
    }
    return makeElement(ObjectRef{*bus, applicationPath}, pid);
}

std::optional<Pid> AtspiAccessibility::startPause(Nanos duration) {
    forgetReads();
    // Finding and connecting read nothing of any application's state.
    if (duration < longPause || !readsExpected_ || !available()) {
        return std::nullopt;
    }
    Pid pid = *std::exchange(readsExpected_, std::nullopt);
    reach(pid);
    return pid;
}

void AtspiAccessibility::reach(Pid pid) {
    if (std::optional<std::string> bus = busOf(pid)) {
        reached_.emplace(pid, *bus);
        view(*bus).connectDirectly(defaultTimeoutMilliseconds);
    }
}

void AtspiAccessibility::beginReads(Pid pid) {
    if (!reached_ || reached_->first != pid) {
        return;
    }
    ApplicationView& application = view(reached_->second);
    application.sendFirstReads();
    if (!application.ownConnection()) {
        readsOnBus_ = reached_->second;
    }
}

void AtspiAccessibility::takeInSharedReads(const std::string& bus) {
    if (readsOnBus_ && *readsOnBus_ != bus) {
        auto found = views_.find(*std::exchange(readsOnBus_, std::nullopt));
        if (found != views_.end()) {
            found->second->takeInFirstReads(defaultTimeoutMilliseconds);
        }
    }
}

void AtspiAccessibility::setMessagingTimeout(const Element& element, float seconds) {
    const AtspiElement* atspi = asAtspi(element);
    if (!atspi || !std::isfinite(seconds)) {
        return;
    }
    double milliseconds = std::clamp(std::ceil(double(seconds) * 1000.0), 1.0, 3600000.0);
    atspi->timeoutMilliseconds = static_cast<int>(milliseconds);
}

std::optional<AttributeValue> AtspiAccessibility::copyAttribute(const Element& element,
                                                                std::string_view name) {
    const AtspiElement* atspi = asAtspi(element);
    if (!atspi || !connection()) {
        return std::nullopt;
    }
    ElementReader reader(*this, view(atspi->ref.bus), *atspi, links_);
    return reader.read(name);
}

void AtspiAccessibility::performAction(const Element& element, std::string_view action) {
    const AtspiElement* atspi = asAtspi(element);
    if (!atspi || !connection() || action != "AXRaise" || !links_.raiseWindow) {
        return;
    }
    ApplicationView& application = view(atspi->ref.bus);
    const AccessibleNode* node = application.node(atspi->ref.path, atspi->timeoutMilliseconds);
    if (!node || application.windowOf(atspi->ref.path) != std::optional(atspi->ref.path)) {
        return;
    }
    std::optional<FrameMapping> mapping =
        mappingOf(application, atspi->ref, atspi->pid, atspi->timeoutMilliseconds);
    std::optional<std::uint32_t> window;
    if (mapping && mapping->window != 0) {
        window = mapping->window;
    }
    links_.raiseWindow(atspi->pid, window);
}

std::optional<FrameMapping> AtspiAccessibility::mappingOf(ApplicationView& view,
                                                          const ObjectRef& window, Pid pid,
                                                          int timeoutMilliseconds) {
    if (!links_.windows) {
        return FrameMapping{};
    }
    auto known = mappings_.find(window.bus + window.path);
    if (known != mappings_.end()) {
        return known->second;
    }
    std::optional<FrameMapping> mapping;
    const AccessibleNode* node = view.node(window.path, timeoutMilliseconds);
    std::optional<Extents> frame = view.extents(window.path, timeoutMilliseconds);
    if (node && frame) {
        auto listed = serverWindows_.find(pid);
        if (listed == serverWindows_.end()) {
            listed = serverWindows_.emplace(pid, links_.windows(pid)).first;
        }
        mapping = matchFrame(*frame, node->name, listed->second);
    }
    mappings_.emplace(window.bus + window.path, mapping);
    return mapping;
}

std::string AtspiAccessibility::windowTitle(ApplicationView& view, const ObjectRef& window, Pid pid,
                                            int timeoutMilliseconds) {
    std::optional<FrameMapping> mapping = mappingOf(view, window, pid, timeoutMilliseconds);
    auto listed = serverWindows_.find(pid);
    if (!mapping || listed == serverWindows_.end()) {
        return {};
    }
    for (const ServerWindow& each : listed->second) {
        if (each.id == mapping->window) {
            return each.title;
        }
    }
    return {};
}

bool AtspiAccessibility::elementsEqual(const Element& a, const Element& b) {
    const AtspiElement* first = asAtspi(a);
    const AtspiElement* second = asAtspi(b);
    if (!first || !second) {
        return &a == &b;
    }
    return first->ref == second->ref;
}

void AtspiAccessibility::forgetReads() {
    for (auto& [bus, application] : views_) {
        application->forget();
    }
    readsOnBus_.reset();
    serverWindows_.clear();
    mappings_.clear();
}

int AtspiAccessibility::callsMade() const {
    int calls = 0;
    for (const auto& [bus, application] : views_) {
        calls += application->callsMade();
    }
    return calls;
}

int AtspiAccessibility::batchesMade() const {
    int batches = 0;
    for (const auto& [bus, application] : views_) {
        batches += application->batchesMade();
    }
    return batches;
}

}  // namespace quorvel::atspi
