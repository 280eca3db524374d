#include "platform/linux/atspi/ApplicationView.h"

#include <algorithm>

#include "platform/linux/atspi/AccessibilityConnection.h"
#include "platform/linux/atspi/AttributeConversion.h"
#include "platform/linux/atspi/ChildLists.h"
#include "platform/linux/atspi/ReplyParsing.h"
#include "platform/linux/atspi/RoleTable.h"

namespace quorvel::atspi {

namespace {

// How many objects one describing batch takes: the one asked about and those after it.
constexpr std::size_t describeBatch = 48;
// How many objects one batch of positions, texts and values looks ahead in walking order.
constexpr std::size_t readAhead = 48;
// The characters of a text read at most: an observation shows the first 1000 user-perceived
// characters, and one of those is rarely more than a few code points.
constexpr std::int32_t textReadLimit = 8000;
// Batches that time out before the application is left alone until the next `forget`.
constexpr int timeoutsTolerated = 2;
// An object that counts more children than this has them asked for a range at a time, from the
// first: asked for all of its children at once, a toolkit makes an accessible object for each
// of them (GTK 3 stalled 5 s on a table of 50,000 rows, 30 s on 20,000 labels).
constexpr std::int32_t wholeListLimit = 128;
constexpr std::int32_t childRange = 128;
// Before an application is asked for its list of objects, this many objects at the top of its
// tree are counted, breadth first, at most this deep: GTK's bridge takes time that grows with
// the square of the longest list of siblings to make that list (20 s for a box of 20,000
// labels), answering nothing else meanwhile, and a long list is seldom deep.
constexpr std::size_t countedBeforeList = 64;
constexpr int countedDepth = 6;

constexpr const char* accessibleInterface = "org.a11y.atspi.Accessible";

std::vector<MessagePtr> single(MessagePtr call) {
    std::vector<MessagePtr> calls;
    if (call) {
        calls.push_back(std::move(call));
    }
    return calls;
}

MessagePtr withStrings(MessagePtr call, const char* first, const char* second = nullptr) {
    if (call && !dbus_message_append_args(call.get(), DBUS_TYPE_STRING, &first,
                                          second ? DBUS_TYPE_STRING : DBUS_TYPE_INVALID, &second,
                                          DBUS_TYPE_INVALID)) {
        return nullptr;
    }
    return call;
}

MessagePtr withUnsigned(MessagePtr call, dbus_uint32_t value) {
    if (call &&
        !dbus_message_append_args(call.get(), DBUS_TYPE_UINT32, &value, DBUS_TYPE_INVALID)) {
        return nullptr;
    }
    return call;
}

MessagePtr withInteger(MessagePtr call, dbus_int32_t value) {
    if (call && !dbus_message_append_args(call.get(), DBUS_TYPE_INT32, &value, DBUS_TYPE_INVALID)) {
        return nullptr;
    }
    return call;
}

MessagePtr withIntegers(MessagePtr call, dbus_int32_t first, dbus_int32_t second) {
    if (call && !dbus_message_append_args(call.get(), DBUS_TYPE_INT32, &first, DBUS_TYPE_INT32,
                                          &second, DBUS_TYPE_INVALID)) {
        return nullptr;
    }
    return call;
}

// The arguments of Collection.GetMatches that ask for the first focused object, in canonical
// order, through all descendants: a rule "(aiia{ss}iaiiasib)" that matches the focused state
// and anything else, then the sort order, the count and the traversal.
MessagePtr withFocusedRule(MessagePtr call) {
    if (!call) {
        return nullptr;
    }
    constexpr dbus_int32_t matchAll = 1;
    constexpr dbus_uint32_t canonicalOrder = 1;
    dbus_int32_t states[2] = {dbus_int32_t{1} << static_cast<int>(State::Focused), 0};
    const dbus_int32_t* stateWords = states;
    dbus_int32_t count = 1;
    dbus_bool_t traverse = TRUE;
    dbus_bool_t invert = FALSE;
    DBusMessageIter arguments;
    DBusMessageIter rule;
    DBusMessageIter array;
    dbus_message_iter_init_append(call.get(), &arguments);
    bool built = dbus_message_iter_open_container(&arguments, DBUS_TYPE_STRUCT, nullptr, &rule) &&
                 dbus_message_iter_open_container(&rule, DBUS_TYPE_ARRAY, "i", &array) &&
                 dbus_message_iter_append_fixed_array(&array, DBUS_TYPE_INT32, &stateWords, 2) &&
                 dbus_message_iter_close_container(&rule, &array) &&
                 dbus_message_iter_append_basic(&rule, DBUS_TYPE_INT32, &matchAll) &&
                 dbus_message_iter_open_container(&rule, DBUS_TYPE_ARRAY, "{ss}", &array) &&
                 dbus_message_iter_close_container(&rule, &array) &&
                 dbus_message_iter_append_basic(&rule, DBUS_TYPE_INT32, &matchAll) &&
                 dbus_message_iter_open_container(&rule, DBUS_TYPE_ARRAY, "i", &array) &&
                 dbus_message_iter_close_container(&rule, &array) &&
                 dbus_message_iter_append_basic(&rule, DBUS_TYPE_INT32, &matchAll) &&
                 dbus_message_iter_open_container(&rule, DBUS_TYPE_ARRAY, "s", &array) &&
                 dbus_message_iter_close_container(&rule, &array) &&
                 dbus_message_iter_append_basic(&rule, DBUS_TYPE_INT32, &matchAll) &&
                 dbus_message_iter_append_basic(&rule, DBUS_TYPE_BOOLEAN, &invert) &&
                 dbus_message_iter_close_container(&arguments, &rule) &&
                 dbus_message_iter_append_basic(&arguments, DBUS_TYPE_UINT32, &canonicalOrder) &&
                 dbus_message_iter_append_basic(&arguments, DBUS_TYPE_INT32, &count) &&
                 dbus_message_iter_append_basic(&arguments, DBUS_TYPE_BOOLEAN, &traverse);
    return built ? std::move(call) : nullptr;
}

}  // namespace

ApplicationView::ApplicationView(DBusConnection* connection, std::string bus,
                                 const std::function<bool()>& giveUp)
    : connection_(connection), bus_(std::move(bus)), giveUp_(giveUp) {}

void ApplicationView::forget() {
    entries_.clear();
    // Answers still to come are dropped by the next batch: they belong to a round that is over.
    firstReadsSent_.reset();
    firstReplies_.reset();
    applicationRead_ = false;
    large_ = false;
    keepsNoList_ = false;
    timeouts_ = 0;
}

// The name and the description are asked for one by one: a Properties.GetAll of the Accessible
// interface crashes Qt applications. The interfaces are not asked for: the calls that need one
// are simply tried, and an object without it answers them with an error, which gives nothing.
std::vector<MessagePtr> ApplicationView::describingCalls(const std::string& path) const {
    std::vector<MessagePtr> calls;
    calls.push_back(withStrings(callOn(path, "org.freedesktop.DBus.Properties", "Get"),
                                accessibleInterface, "Name"));
    calls.push_back(withStrings(callOn(path, "org.freedesktop.DBus.Properties", "Get"),
                                accessibleInterface, "Description"));
    calls.push_back(callOn(path, accessibleInterface, "GetRole"));
    calls.push_back(callOn(path, accessibleInterface, "GetState"));
    return calls;
}

std::optional<AccessibleNode> ApplicationView::parseDescribingReplies(const BusReply* replies) {
    return parseDescription(replies[0].value.get(), replies[1].value.get(), replies[2].value.get(),
                            replies[3].value.get(), nullptr);
}

MessagePtr ApplicationView::callOn(const std::string& path, const char* interface,
                                   const char* method) const {
    return methodCall(direct_ ? std::string() : bus_, path, interface, method);
}

std::vector<BusReply> ApplicationView::send(const std::vector<MessagePtr>& calls,
                                            int timeoutMilliseconds) {
    takeInFirstReads(timeoutMilliseconds);
    if (timeouts_ >= timeoutsTolerated || calls.empty()) {
        return std::vector<BusReply>(calls.size());
    }
    return awaitBatch(sendBatch(calls), timeoutMilliseconds);
}

SentCalls ApplicationView::openBatch() {
    ++batches_;
    // Straight to the application when it has given its own address: the bus daemon then
    // relays nothing, which halves the messages every call costs.
    return SentCalls{direct_ ? direct_.get() : connection_, 0, {}};
}

void ApplicationView::sendInBatch(SentCalls& batch, const std::vector<MessagePtr>& calls) {
    calls_ += static_cast<int>(calls.size());
    if (timeouts_ >= timeoutsTolerated) {
        batch.count += calls.size();  // not sent: answered with nothing
        return;
    }
    sendMore(batch, calls);
}

SentCalls ApplicationView::sendBatch(const std::vector<MessagePtr>& calls) {
    SentCalls batch = openBatch();
    sendInBatch(batch, calls);
    return batch;
}

std::vector<BusReply> ApplicationView::awaitBatch(SentCalls sent, int timeoutMilliseconds) {
    return awaitStream(sent, timeoutMilliseconds, {});
}

std::vector<BusReply> ApplicationView::awaitStream(SentCalls& sent, int timeoutMilliseconds,
                                                   const AnswerHandler& answered) {
    std::vector<BusReply> replies = awaitEach(sent, timeoutMilliseconds, giveUp_, answered);
    if (std::any_of(replies.begin(), replies.end(),
                    [](const BusReply& reply) { return reply.timedOut; })) {
        ++timeouts_;
    }
    return replies;
}

MessagePtr ApplicationView::addressCall() const {
    return callOn(applicationPath, "org.a11y.atspi.Application", "GetApplicationBusAddress");
}

void ApplicationView::useAddress(DBusMessage* reply, int timeoutMilliseconds) {
    directTried_ = true;
    if (std::optional<std::string> address = parseText(reply)) {
        direct_ = connectTo(*address, Peer::Application, timeoutMilliseconds);
    }
}

void ApplicationView::connectDirectly(int timeoutMilliseconds) {
    if (directTried_) {
        return;
    }
    // Not counted among the round's reads: a timeout here says nothing of the round's answers.
    BusReply address = callOne(connection_, addressCall(), timeoutMilliseconds);
    useAddress(address.value.get(), timeoutMilliseconds);
    if (direct_) {
        // The connection authenticates on its first exchange; a ping has it done now.
        callOne(direct_.get(), methodCall({}, "/", "org.freedesktop.DBus.Peer", "Ping"),
                timeoutMilliseconds);
    }
}

std::vector<MessagePtr> ApplicationView::firstReadCalls() const {
    std::vector<MessagePtr> calls = describingCalls(applicationPath);
    calls.push_back(callOn(applicationPath, accessibleInterface, "GetChildren"));
    calls.push_back(directTried_ ? nullptr : addressCall());
    calls.push_back(withStrings(callOn(applicationPath, "org.freedesktop.DBus.Properties", "Get"),
                                "org.a11y.atspi.Application", "ToolkitName"));
    return calls;
}

void ApplicationView::sendFirstReads() {
    if (applicationRead_ || firstReadsSent_ || firstReplies_ || timeouts_ >= timeoutsTolerated) {
        return;
    }
    firstReadsSent_ = sendBatch(firstReadCalls());
}

void ApplicationView::takeInFirstReads(int timeoutMilliseconds) {
    if (firstReadsSent_) {
        firstReplies_ =
            awaitBatch(*std::exchange(firstReadsSent_, std::nullopt), timeoutMilliseconds);
    }
}

// The first read of a round: the application's list of objects, and the application object
// with its children, which that list does not hold, in one batch.
void ApplicationView::readApplication(int timeoutMilliseconds) {
    if (applicationRead_) {
        return;
    }
    takeInFirstReads(timeoutMilliseconds);
    applicationRead_ = true;
    std::vector<BusReply> replies = firstReplies_
                                        ? std::move(*std::exchange(firstReplies_, std::nullopt))
                                        : send(firstReadCalls(), timeoutMilliseconds);
    Entry& application = entries_[applicationPath];
    application.describeTried = true;
    application.node = parseDescribingReplies(&replies[0]);
    if (replies[describingCallCount].value) {
        storeChildren(applicationPath, parseReferences(replies[describingCallCount].value.get()));
    }
    if (!directTried_) {
        useAddress(replies[describingCallCount + 1].value.get(), timeoutMilliseconds);
    }
    // Qt's bridge answers the request for the list of objects with an empty list.
    keepsNoList_ = parsePropertyString(replies[describingCallCount + 2].value.get()) == "Qt";
    countTopOfTree(timeoutMilliseconds);
    if (large_ || timeouts_ > 0 || keepsNoList_) {
        return;
    }
    std::vector<MessagePtr> calls;
    calls.push_back(callOn("/org/a11y/atspi/cache", "org.a11y.atspi.Cache", "GetItems"));
    replies = send(calls, timeoutMilliseconds);
    storeItems(replies[0].value.get());
}

// Counts the children of the objects at the top of the tree, breadth first, and lists those of
// the objects that count few; asks nothing new once one counts many. The counts and lists are
// what the walk reads of these objects anyway. Each call goes out the moment the answer it
// depends on is in, so that the application has the next question while the driver takes in
// the last answer. Where the application keeps no list of its objects, each counted object is
// also described, placed and read (its text or value) in the same stream.
void ApplicationView::countTopOfTree(int timeoutMilliseconds) {
    enum class Read { Count, List, Describe, TextLength, Text, Value };
    struct Asked {
        std::string path;
        int depth;
        Read read;
        std::size_t first;  // the first call of the group this call belongs to
    };
    std::vector<Asked> asked;                                 // one per call, in the order sent
    std::unordered_map<std::size_t, std::size_t> unanswered;  // by the group's first call
    std::size_t counted = 0;
    SentCalls batch = openBatch();
    auto ask = [&](const std::string& path, int depth, Read read, std::vector<MessagePtr> calls) {
        if (calls.empty()) {
            return;
        }
        unanswered[asked.size()] = calls.size();
        asked.insert(asked.end(), calls.size(), Asked{path, depth, read, asked.size()});
        sendInBatch(batch, calls);
    };
    auto count = [&](const std::vector<std::string>& paths, int depth) {
        std::size_t first = counted;
        for (const std::string& path : paths) {
            if (counted == countedBeforeList) {
                break;
            }
            ++counted;
            ask(path, depth, Read::Count, single(childCountCall(path)));
        }
        // After the counts: they are what the next calls wait for.
        for (std::size_t index = 0; keepsNoList_ && index < counted - first; ++index) {
            ask(paths[index], depth, Read::Describe, describingAndPlacingCalls(paths[index]));
        }
    };
    // Takes in the answers to a group of calls once all of them are in.
    auto take = [&](const Asked& group, const BusReply* replies) {
        Entry& entry = entries_[group.path];
        switch (group.read) {
            case Read::Count:
                noteChildCount(group.path, parsePropertyInteger(replies->value.get()));
                if (!large_ && entry.childCount && *entry.childCount > 0) {
                    ask(group.path, group.depth, Read::List, childListCalls(group.path));
                }
                break;
            case Read::List:
                storeChildList(group.path, replies, 1);
                if (!large_ && group.depth + 1 < countedDepth) {
                    count(sameBusChildren(group.path), group.depth + 1);
                }
                break;
            case Read::Describe:
                storeDescribingAndPlacing(group.path, replies);
                ask(group.path, group.depth, Read::TextLength,
                    single(shownValueCall(group.path, ValueSource::Text)));
                ask(group.path, group.depth, Read::Value,
                    single(shownValueCall(group.path, ValueSource::Number)));
                break;
            case Read::TextLength:
                ask(group.path, group.depth, Read::Text,
                    single(textCall(group.path, parsePropertyInteger(replies->value.get()))));
                break;
            case Read::Text:
                storeText(group.path, replies->value.get());
                break;
            case Read::Value:
                entry.value = parseCurrentValue(replies->value.get());
                break;
        }
    };
    count(sameBusChildren(applicationPath), 0);
    awaitStream(batch, timeoutMilliseconds,
                [&](std::size_t index, const std::vector<BusReply>& replies) {
                    std::size_t first = asked[index].first;
                    if (--unanswered[first] == 0) {
                        const Asked group = asked[first];  // `asked` grows as calls are made
                        take(group, &replies[first]);
                    }
                });
}

std::vector<std::string> ApplicationView::sameBusChildren(const std::string& path) {
    std::vector<std::string> paths;
    const Entry& entry = entries_[path];
    for (const ObjectRef& child : entry.children.value_or(std::vector<ObjectRef>{})) {
        if (child.bus == bus_) {
            paths.push_back(child.path);
        }
    }
    return paths;
}

void ApplicationView::storeItems(DBusMessage* reply) {
    auto items = parseCacheItems(reply);
    // The application object is described on its own, and its windows listed on their own.
    std::erase_if(items, [](const auto& item) { return item.first == applicationPath; });
    for (auto& [parent, children] : completeChildLists(items)) {
        std::vector<ObjectRef> references;
        references.reserve(children.size());
        for (std::string& child : children) {
            references.push_back(ObjectRef{bus_, std::move(child)});
        }
        Entry& entry = entries_[parent];
        entry.children = std::move(references);
        entry.childrenTried = true;
    }
    for (auto& [path, node] : items) {
        // A count of -1 says nothing: the object keeps its children to itself.
        if (node.childCount >= 0) {
            noteChildCount(path, node.childCount);
        }
        Entry& entry = entries_[path];
        entry.node = std::move(node);
        entry.describeTried = true;
    }
}

void ApplicationView::storeChildren(const std::string& path, std::vector<ObjectRef> children) {
    for (const ObjectRef& child : children) {
        if (child.bus == bus_) {
            entries_[child.path].listedUnder = path;
        }
    }
    Entry& entry = entries_[path];
    entry.children = std::move(children);
    entry.childrenTried = true;
}

void ApplicationView::noteChildCount(const std::string& path, std::optional<std::int32_t> count) {
    if (!count || *count < 0) {
        return;
    }
    entries_[path].childCount = count;
    large_ = large_ || *count > wholeListLimit;
}

MessagePtr ApplicationView::childCountCall(const std::string& path) const {
    return withStrings(callOn(path, "org.freedesktop.DBus.Properties", "Get"), accessibleInterface,
                       "ChildCount");
}

// The calls that read the object's children, or the next range of them, as far as its count
// says; the whole list when the application has not said how long it is.
std::vector<MessagePtr> ApplicationView::childListCalls(const std::string& path) {
    std::vector<MessagePtr> calls;
    const Entry& entry = entries_[path];
    if (!entry.childCount || *entry.childCount <= wholeListLimit) {
        if (entry.childCount != 0) {
            calls.push_back(callOn(path, accessibleInterface, "GetChildren"));
        }
        return calls;
    }
    std::int32_t end = std::min(*entry.childCount, entry.childrenAsked + childRange);
    for (std::int32_t index = entry.childrenAsked; index < end; ++index) {
        calls.push_back(withInteger(callOn(path, accessibleInterface, "GetChildAtIndex"), index));
    }
    return calls;
}

// Stores the answers to the calls `childListCalls` made for the object.
void ApplicationView::storeChildList(const std::string& path, const BusReply* replies,
                                     std::size_t count) {
    Entry& entry = entries_[path];
    entry.childrenTried = true;
    if (!entry.childCount || *entry.childCount <= wholeListLimit) {
        if (count == 0) {
            storeChildren(path, {});
        } else if (replies[0].value) {
            storeChildren(path, parseReferences(replies[0].value.get()));
        }
        return;
    }
    std::vector<ObjectRef> children = entry.children.value_or(std::vector<ObjectRef>{});
    for (std::size_t index = 0; index < count; ++index) {
        if (std::optional<ObjectRef> child = parseReference(replies[index].value.get())) {
            children.push_back(std::move(*child));
        }
    }
    entry.childrenAsked += static_cast<std::int32_t>(count);
    storeChildren(path, std::move(children));
}

// Reads the children of each object in one batch, after one batch for the counts not known.
void ApplicationView::readChildLists(const std::vector<std::string>& paths,
                                     int timeoutMilliseconds) {
    std::vector<std::string> uncounted;
    std::vector<MessagePtr> calls;
    for (const std::string& path : paths) {
        if (!entries_[path].childCount) {
            uncounted.push_back(path);
            calls.push_back(childCountCall(path));
        }
    }
    std::vector<BusReply> counts = send(calls, timeoutMilliseconds);
    for (std::size_t index = 0; index < uncounted.size(); ++index) {
        noteChildCount(uncounted[index], parsePropertyInteger(counts[index].value.get()));
    }
    calls.clear();
    std::vector<std::size_t> callsOf;
    for (const std::string& path : paths) {
        std::vector<MessagePtr> own = childListCalls(path);
        callsOf.push_back(own.size());
        std::move(own.begin(), own.end(), std::back_inserter(calls));
    }
    std::vector<BusReply> replies = send(calls, timeoutMilliseconds);
    std::size_t first = 0;
    for (std::size_t index = 0; index < paths.size(); ++index) {
        storeChildList(paths[index], replies.data() + first, callsOf[index]);
        first += callsOf[index];
    }
}

std::string ApplicationView::parentOf(const std::string& path) {
    auto found = entries_.find(path);
    if (found == entries_.end()) {
        return {};
    }
    if (!found->second.listedUnder.empty()) {
        return found->second.listedUnder;
    }
    return found->second.node ? found->second.node->parentPath : std::string();
}

// Describes the object and the objects after it in walking order that the application's list
// left out (the cells of a table, the parts of a cell), with their extents and the number of
// their children, in one batch.
void ApplicationView::describe(const std::string& path, int timeoutMilliseconds) {
    std::vector<std::string> paths{path};
    for (const std::string& each : walkOrderFrom(path, 4 * describeBatch, Described::Any)) {
        if (paths.size() >= describeBatch) {
            break;
        }
        if (each != path && !entries_[each].describeTried) {
            paths.push_back(each);
        }
    }
    takeInFirstReads(timeoutMilliseconds);
    // Each object's calls go out as soon as they are made: the application answers the first
    // objects while the calls for the last are being made.
    SentCalls batch = openBatch();
    for (const std::string& each : paths) {
        std::vector<MessagePtr> calls = describingAndPlacingCalls(each);
        // The objects at the top of the tree were counted before.
        if (!entries_[each].childCount) {
            calls.push_back(childCountCall(each));
        }
        sendInBatch(batch, calls);
    }
    std::vector<BusReply> replies = awaitBatch(std::move(batch), timeoutMilliseconds);
    const BusReply* reply = replies.data();
    for (const std::string& each : paths) {
        Entry& entry = entries_[each];
        storeDescribingAndPlacing(each, reply);
        reply += describingCallCount + 1;
        if (!entry.childCount) {
            noteChildCount(each, parsePropertyInteger(reply->value.get()));
            ++reply;
        }
    }
}

std::vector<MessagePtr> ApplicationView::describingAndPlacingCalls(const std::string& path) {
    Entry& entry = entries_[path];
    entry.describeTried = true;
    entry.extentsTried = true;
    std::vector<MessagePtr> calls = describingCalls(path);
    calls.push_back(
        withUnsigned(callOn(path, "org.a11y.atspi.Component", "GetExtents"), coordinateType_));
    return calls;
}

void ApplicationView::storeDescribingAndPlacing(const std::string& path, const BusReply* replies) {
    Entry& entry = entries_[path];
    entry.node = parseDescribingReplies(replies);
    entry.extents = parseExtents(replies[describingCallCount].value.get());
}

const AccessibleNode* ApplicationView::node(const std::string& path, int timeoutMilliseconds) {
    readApplication(timeoutMilliseconds);
    if (!entries_[path].describeTried) {
        describe(path, timeoutMilliseconds);
    }
    const Entry& entry = entries_[path];
    return entry.node ? &*entry.node : nullptr;
}

std::optional<std::vector<ObjectRef>> ApplicationView::children(const std::string& path,
                                                                int timeoutMilliseconds) {
    readApplication(timeoutMilliseconds);
    if (!entries_[path].childrenTried) {
        readChildLists({path}, timeoutMilliseconds);
    }
    return entries_[path].children;
}

bool ApplicationView::childrenCut(const std::string& path) {
    const Entry& entry = entries_[path];
    return entry.childrenTried && entry.childCount && *entry.childCount > wholeListLimit &&
           entry.childrenAsked < *entry.childCount;
}

bool ApplicationView::readMoreChildren(const std::string& path, int timeoutMilliseconds) {
    if (!childrenCut(path)) {
        return false;
    }
    std::vector<MessagePtr> calls = childListCalls(path);
    std::vector<BusReply> replies = send(calls, timeoutMilliseconds);
    storeChildList(path, replies.data(), calls.size());
    return true;
}

std::optional<std::string> ApplicationView::nextSiblingOrAncestorSibling(std::string path) {
    // The depth bound only guards against an application whose parents form a loop.
    for (int depth = 0; depth < 64; ++depth) {
        std::string parent = parentOf(path);
        auto found = entries_.find(parent);
        if (parent.empty() || found == entries_.end() || !found->second.children) {
            return std::nullopt;
        }
        const auto& siblings = *found->second.children;
        auto position = std::find_if(siblings.begin(), siblings.end(),
                                     [&](const ObjectRef& ref) { return ref.path == path; });
        if (position == siblings.end()) {
            return std::nullopt;
        }
        for (auto it = std::next(position); it != siblings.end(); ++it) {
            if (it->bus == bus_) {
                return it->path;
            }
        }
        path = parent;
    }
    return std::nullopt;
}

// The objects a depth-first walk would reach from `path` on, as far as their children are
// already known; with `Described::Only`, those already described.
std::vector<std::string> ApplicationView::walkOrderFrom(const std::string& path, std::size_t limit,
                                                        Described described) {
    std::vector<std::string> order;
    std::string current = path;
    for (std::size_t steps = 0; order.size() < limit && steps < 8 * limit; ++steps) {
        const Entry& entry = entries_[current];
        if (entry.node || described == Described::Any) {
            order.push_back(current);
        }
        std::optional<std::string> next;
        if (entry.children) {
            for (const ObjectRef& child : *entry.children) {
                if (child.bus == bus_) {
                    next = child.path;
                    break;
                }
            }
        }
        if (!next) {
            next = nextSiblingOrAncestorSibling(current);
        }
        if (!next) {
            break;
        }
        current = *next;
    }
    return order;
}

// Reads, in one batch, the positions, texts, values and children lists that the object and the
// objects after it in walking order will be asked for.
void ApplicationView::readSoon(const std::string& path, int timeoutMilliseconds) {
    enum class Read { Extents, TextLength, Value, Children };
    struct Asked {
        std::string path;
        Read read;
        std::size_t calls = 1;
    };
    std::vector<Asked> reads;
    std::vector<MessagePtr> calls;
    // Objects whose children the application has not counted yet: rare, as describing an object
    // counts them.
    std::vector<std::string> uncounted;
    for (const std::string& each : walkOrderFrom(path, readAhead, Described::Only)) {
        Entry& entry = entries_[each];
        const AccessibleNode& node = *entry.node;
        if (!entry.extentsTried) {
            entry.extentsTried = true;
            // An object that is not showing has no place on screen: it is not asked for one.
            if (showing(each) && node.supports(ComponentInterface)) {
                reads.push_back({each, Read::Extents});
                calls.push_back(withUnsigned(callOn(each, "org.a11y.atspi.Component", "GetExtents"),
                                             coordinateType_));
            }
        }
        if (MessagePtr call = shownValueCall(each, ValueSource::Text)) {
            reads.push_back({each, Read::TextLength});
            calls.push_back(std::move(call));
        }
        if (MessagePtr call = shownValueCall(each, ValueSource::Number)) {
            reads.push_back({each, Read::Value});
            calls.push_back(std::move(call));
        }
        if (!entry.childrenTried) {
            entry.childrenTried = true;
            if (!entry.childCount) {
                uncounted.push_back(each);
            } else {
                std::vector<MessagePtr> own = childListCalls(each);
                reads.push_back({each, Read::Children, own.size()});
                std::move(own.begin(), own.end(), std::back_inserter(calls));
            }
        }
    }
    std::vector<BusReply> replies = send(calls, timeoutMilliseconds);
    std::vector<std::pair<std::string, std::optional<std::int32_t>>> texts;
    std::size_t first = 0;
    for (const Asked& asked : reads) {
        Entry& entry = entries_[asked.path];
        DBusMessage* reply = asked.calls > 0 ? replies[first].value.get() : nullptr;
        const std::size_t index = first;
        first += asked.calls;
        switch (asked.read) {
            case Read::Extents:
                entry.extents = parseExtents(reply);
                break;
            case Read::TextLength:
                texts.emplace_back(asked.path, parsePropertyInteger(reply));
                break;
            case Read::Value:
                entry.value = parseCurrentValue(reply);
                break;
            case Read::Children:
                storeChildList(asked.path, replies.data() + index, asked.calls);
                break;
        }
    }
    readTexts(texts, timeoutMilliseconds);
    readChildLists(uncounted, timeoutMilliseconds);
}

// Reads the texts whose lengths are known, as far as an observation shows them, in one batch.
// A toolkit may answer a request for the whole text (end offset -1) with nothing while it gives
// the same text by its length (GTK 4), and a whole text can be megabytes long.
void ApplicationView::readTexts(
    const std::vector<std::pair<std::string, std::optional<std::int32_t>>>& lengths,
    int timeoutMilliseconds) {
    std::vector<std::string> paths;
    std::vector<MessagePtr> calls;
    for (const auto& [path, length] : lengths) {
        if (MessagePtr call = textCall(path, length)) {
            paths.push_back(path);
            calls.push_back(std::move(call));
        }
    }
    std::vector<BusReply> replies = send(calls, timeoutMilliseconds);
    for (std::size_t index = 0; index < paths.size(); ++index) {
        storeText(paths[index], replies[index].value.get());
    }
}

// The call for the length of the object's text, when its role shows a text, or for its value,
// when its role shows a number; marks that read asked for.
MessagePtr ApplicationView::shownValueCall(const std::string& path, ValueSource source) {
    Entry& entry = entries_[path];
    bool& tried = source == ValueSource::Text ? entry.textTried : entry.valueTried;
    if (tried || !entry.node) {
        return nullptr;
    }
    tried = true;
    bool text = source == ValueSource::Text;
    if (valueSource(entry.node->role) != source ||
        !entry.node->supports(text ? TextInterface : ValueInterface)) {
        return nullptr;
    }
    return withStrings(callOn(path, "org.freedesktop.DBus.Properties", "Get"),
                       text ? "org.a11y.atspi.Text" : "org.a11y.atspi.Value",
                       text ? "CharacterCount" : "CurrentValue");
}

// The call for the text as far as an observation shows it; none where the application counts
// no characters, whose text is then known to be empty.
MessagePtr ApplicationView::textCall(const std::string& path, std::optional<std::int32_t> length) {
    if (length && *length <= 0) {
        entries_[path].text = "";
        return nullptr;
    }
    std::int32_t end = length ? std::min(*length, textReadLimit) : -1;
    return withIntegers(callOn(path, "org.a11y.atspi.Text", "GetText"), 0, end);
}

void ApplicationView::storeText(const std::string& path, DBusMessage* reply) {
    if (std::optional<std::string> text = parseText(reply)) {
        entries_[path].text = withoutObjectPlaceholders(std::move(*text));
    }
}

std::optional<Extents> ApplicationView::extents(const std::string& path, int timeoutMilliseconds) {
    const AccessibleNode* described = node(path, timeoutMilliseconds);
    if (!described) {
        return std::nullopt;
    }
    if (!entries_[path].extentsTried) {
        readSoon(path, timeoutMilliseconds);
    }
    const Entry& entry = entries_[path];
    if (!entry.extents || !onScreen(showing(path), *entry.extents)) {
        return std::nullopt;
    }
    return entry.extents;
}

std::optional<std::string> ApplicationView::text(const std::string& path, int timeoutMilliseconds) {
    if (!node(path, timeoutMilliseconds)) {
        return std::nullopt;
    }
    if (!entries_[path].textTried) {
        readSoon(path, timeoutMilliseconds);
    }
    return entries_[path].text;
}

std::optional<double> ApplicationView::currentValue(const std::string& path,
                                                    int timeoutMilliseconds) {
    if (!node(path, timeoutMilliseconds)) {
        return std::nullopt;
    }
    if (!entries_[path].valueTried) {
        readSoon(path, timeoutMilliseconds);
    }
    return entries_[path].value;
}

std::optional<std::string> ApplicationView::windowOf(const std::string& path) {
    std::string current = path;
    // The depth bound only guards against an application whose parents form a loop.
    for (int depth = 0; depth < 64 && !current.empty() && current != applicationPath; ++depth) {
        const Entry& entry = entries_[current];
        if (!entry.foundInWindow.empty()) {
            return entry.foundInWindow;
        }
        std::string parent = parentOf(current);
        if (parent == applicationPath) {
            return current;
        }
        current = parent;
    }
    return std::nullopt;
}

bool ApplicationView::showing(const std::string& path) {
    const Entry& entry = entries_[path];
    if (!entry.node || entry.node->has(State::Showing)) {
        return entry.node.has_value();
    }
    std::optional<std::string> window = windowOf(path);
    return entry.node->has(State::Visible) && window && *window != path &&
           !marksShowingInside(*window);
}

// GTK 4.8 marks its windows showing and nothing inside them: a showing window none of whose
// visible children is showing is such a window, and there being visible is all it tells.
bool ApplicationView::marksShowingInside(const std::string& window) {
    const Entry& entry = entries_[window];
    if (!entry.node || !entry.node->has(State::Showing) || !entry.children) {
        return true;
    }
    bool visibleChild = false;
    for (const ObjectRef& child : *entry.children) {
        auto found = entries_.find(child.path);
        if (child.bus != bus_ || found == entries_.end() || !found->second.node) {
            continue;
        }
        const AccessibleNode& node = *found->second.node;
        if (node.has(State::Showing)) {
            return true;
        }
        visibleChild = visibleChild || node.has(State::Visible);
    }
    return !visibleChild;
}

std::optional<ObjectRef> ApplicationView::focusedIn(const std::string& windowPath,
                                                    int timeoutMilliseconds) {
    readApplication(timeoutMilliseconds);
    // The objects read so far hold the states as they were then (the list read at the start of
    // the round, the rows read since); a focused one inside the window is the answer, the
    // innermost where a table and its cell both say they are focused.
    std::optional<std::string> focused;
    int focusedDepth = -1;
    for (const auto& [path, entry] : entries_) {
        if (!entry.node || !entry.node->has(State::Focused) || path == windowPath) {
            continue;
        }
        std::string ancestor = parentOf(path);
        for (int depth = 0; depth < 64 && !ancestor.empty(); ++depth) {
            if (ancestor == windowPath) {
                if (depth > focusedDepth || (depth == focusedDepth && path < *focused)) {
                    focused = path;
                    focusedDepth = depth;
                }
                break;
            }
            ancestor = parentOf(ancestor);
        }
    }
    if (focused) {
        return ObjectRef{bus_, *focused};
    }
    // Objects not read (a table's cells) are searched by the application itself, which walks
    // every object of the window to answer: not in an application that is large.
    const AccessibleNode* window = node(windowPath, timeoutMilliseconds);
    if (large_ || !window || !window->supports(CollectionInterface)) {
        return std::nullopt;
    }
    std::vector<MessagePtr> calls;
    calls.push_back(withFocusedRule(callOn(windowPath, "org.a11y.atspi.Collection", "GetMatches")));
    std::vector<BusReply> replies = send(calls, timeoutMilliseconds);
    std::vector<ObjectRef> matches = parseReferences(replies[0].value.get());
    if (matches.empty()) {
        return std::nullopt;
    }
    if (matches.front().bus == bus_) {
        entries_[matches.front().path].foundInWindow = windowPath;
    }
    return matches.front();
}

}  // namespace quorvel::atspi
