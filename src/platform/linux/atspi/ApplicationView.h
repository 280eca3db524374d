#pragma once

// What the driver has read of one application (one bus name) since the last time it chose to
// forget, gathered with as few D-Bus round trips as it can, and never more than the walk needs:
// - the first read asks, in one batch, for the application object and its windows; then the
//   children of the objects at the top of the tree are counted, and unless one counts many, the
//   application's whole list of objects is asked for (org.a11y.atspi.Cache.GetItems, with names,
//   roles, descriptions and states as they are at that moment); Qt's bridge answers that list
//   with nothing, so a Qt application has the objects at the top described, placed and read as
//   they are counted, each call going out as soon as the answer it depends on is in;
// - objects the list leaves out (the rows of tables and lists, the items of menus) are described
//   on demand, each with the objects that follow it in walking order, in one batch;
// - positions, sizes, texts, values and children are read for the object asked about and the
//   objects that a depth-first walk would ask about next, in one batch; an object that counts
//   many children has them read a range at a time, from the first.
// Each batch waits at most the timeout it is given. An application that lets two batches time
// out is not asked again until the next `forget`, so a frozen one costs a bounded time.

#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/linux/atspi/AccessibleNode.h"
#include "platform/linux/atspi/BusCalls.h"
#include "platform/linux/atspi/ObjectRef.h"
#include "platform/linux/atspi/RoleTable.h"

namespace quorvel::atspi {

class ApplicationView {
  public:
    // `giveUp` says when no answer is worth waiting for any more (the request is over).
    ApplicationView(DBusConnection* connection, std::string bus,
                    const std::function<bool()>& giveUp);

    // Everything read so far is dropped; the next read asks the application again.
    void forget();

    // Which origin positions are read from: the screen's (AT-SPI's 0), or the window's (1),
    // which Wayland toolkits report against their client area.
    void readExtentsFrom(std::uint32_t coordinateType) { coordinateType_ = coordinateType; }

    // Connects straight to the application, when it gives an address of its own, so that later
    // reads need not: asks nothing of what the application shows. Once per view.
    void connectDirectly(int timeoutMilliseconds);

    // Sends the first reads of a round without awaiting them: the answers are taken in by the
    // first read that follows, or by `takeInFirstReads`. Only one batch may be outstanding on a
    // connection: before anything else awaits answers on the accessibility bus, reads sent there
    // must be taken in.
    void sendFirstReads();
    void takeInFirstReads(int timeoutMilliseconds);
    // Whether the application is read over a connection of its own.
    bool ownConnection() const { return direct_ != nullptr; }

    // Null when the object cannot be described.
    const AccessibleNode* node(const std::string& path, int timeoutMilliseconds);
    // Nothing when the children cannot be read. Of an object that counts many children, only
    // the first are read: `childrenCut` says so, and `readMoreChildren` reads the next range.
    std::optional<std::vector<ObjectRef>> children(const std::string& path,
                                                   int timeoutMilliseconds);
    bool childrenCut(const std::string& path);
    // False when there was nothing more to read.
    bool readMoreChildren(const std::string& path, int timeoutMilliseconds);
    // Nothing for an object that is not showing or has no place on screen.
    std::optional<Extents> extents(const std::string& path, int timeoutMilliseconds);
    std::optional<std::string> text(const std::string& path, int timeoutMilliseconds);
    std::optional<double> currentValue(const std::string& path, int timeoutMilliseconds);
    // The object with the keyboard focus inside a window of this application.
    std::optional<ObjectRef> focusedIn(const std::string& windowPath, int timeoutMilliseconds);
    // The child of the application object that holds the object (the object itself when it is
    // one), as far as the objects read so far tell.
    std::optional<std::string> windowOf(const std::string& path);

    // The number of D-Bus calls and of batches made since construction, for measurements.
    int callsMade() const { return calls_; }
    int batchesMade() const { return batches_; }

  private:
    struct Entry {
        std::optional<AccessibleNode> node;
        bool describeTried = false;
        std::optional<std::vector<ObjectRef>> children;
        bool childrenTried = false;
        // As many children as the application counts, when it has said.
        std::optional<std::int32_t> childCount;
        // The children at indexes below this have been asked for, one by one.
        std::int32_t childrenAsked = 0;
        // The object that listed this one among its children, when the node does not say.
        std::string listedUnder;
        // The window a search for the focus found it in.
        std::string foundInWindow;
        std::optional<Extents> extents;
        bool extentsTried = false;
        std::optional<std::string> text;
        bool textTried = false;
        std::optional<double> value;
        bool valueTried = false;
    };

    void readApplication(int timeoutMilliseconds);
    std::vector<MessagePtr> firstReadCalls() const;
    MessagePtr addressCall() const;
    void useAddress(DBusMessage* reply, int timeoutMilliseconds);
    void countTopOfTree(int timeoutMilliseconds);
    std::vector<std::string> sameBusChildren(const std::string& path);
    bool showing(const std::string& path);
    bool marksShowingInside(const std::string& window);
    void storeItems(DBusMessage* reply);
    void storeChildren(const std::string& path, std::vector<ObjectRef> children);
    void noteChildCount(const std::string& path, std::optional<std::int32_t> count);
    std::vector<MessagePtr> childListCalls(const std::string& path);
    void storeChildList(const std::string& path, const BusReply* replies, std::size_t count);
    void readChildLists(const std::vector<std::string>& paths, int timeoutMilliseconds);
    MessagePtr childCountCall(const std::string& path) const;
    void describe(const std::string& path, int timeoutMilliseconds);
    void readSoon(const std::string& path, int timeoutMilliseconds);
    MessagePtr shownValueCall(const std::string& path, ValueSource source);
    MessagePtr textCall(const std::string& path, std::optional<std::int32_t> length);
    void storeText(const std::string& path, DBusMessage* reply);
    void readTexts(const std::vector<std::pair<std::string, std::optional<std::int32_t>>>& lengths,
                   int timeoutMilliseconds);
    enum class Described { Only, Any };
    std::vector<std::string> walkOrderFrom(const std::string& path, std::size_t limit,
                                           Described described);
    std::string parentOf(const std::string& path);
    std::optional<std::string> nextSiblingOrAncestorSibling(std::string path);
    std::vector<BusReply> send(const std::vector<MessagePtr>& calls, int timeoutMilliseconds);
    SentCalls openBatch();
    void sendInBatch(SentCalls& batch, const std::vector<MessagePtr>& calls);
    SentCalls sendBatch(const std::vector<MessagePtr>& calls);
    std::vector<BusReply> awaitBatch(SentCalls sent, int timeoutMilliseconds);
    // Awaits a batch to which `answered` may add calls as answers come in.
    std::vector<BusReply> awaitStream(SentCalls& sent, int timeoutMilliseconds,
                                      const AnswerHandler& answered);
    MessagePtr callOn(const std::string& path, const char* interface, const char* method) const;
    // The calls that describe an object, and the description their replies give.
    static constexpr std::size_t describingCallCount = 4;
    std::vector<MessagePtr> describingCalls(const std::string& path) const;
    static std::optional<AccessibleNode> parseDescribingReplies(const BusReply* replies);
    // The describing calls and the one for the object's place, marked as asked; and the storing
    // of their answers.
    std::vector<MessagePtr> describingAndPlacingCalls(const std::string& path);
    void storeDescribingAndPlacing(const std::string& path, const BusReply* replies);

    DBusConnection* connection_;
    std::uint32_t coordinateType_ = 0;
    std::string bus_;
    const std::function<bool()>& giveUp_;
    // The connection straight to the application, once it has given its address.
    bool directTried_ = false;
    ConnectionPtr direct_;
    bool applicationRead_ = false;
    // The first reads, sent before they were needed, and their answers once taken in.
    std::optional<SentCalls> firstReadsSent_;
    std::optional<std::vector<BusReply>> firstReplies_;
    // The application counts more objects than its list may hold, or an object of it more
    // children than are read at once: nothing is asked of it that walks all of its objects.
    bool large_ = false;
    // The application answers the request for its list of objects with nothing.
    bool keepsNoList_ = false;
    int timeouts_ = 0;
    int calls_ = 0;
    int batches_ = 0;
    std::unordered_map<std::string, Entry> entries_;
};

}  // namespace quorvel::atspi
