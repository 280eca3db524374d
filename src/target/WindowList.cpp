#include "target/WindowList.h"

namespace quorvel {

namespace {

struct RecordField {
    const char* key;
    const char* serverKey;
    Json fallback;
};

const RecordField recordFields[] = {
    {"window_id", "kCGWindowNumber", 0}, {"pid", "kCGWindowOwnerPID", 0},
    {"layer", "kCGWindowLayer", 0},      {"app", "kCGWindowOwnerName", ""},
    {"title", "kCGWindowName", ""},      {"bounds", "kCGWindowBounds", Json::object()},
};

bool isUsableAnswer(const Json& answer) {
    if (!answer.is_array()) {
        return false;
    }
    for (const Json& entry : answer) {
        if (!entry.is_object()) {
            return false;  // one bad entry empties the whole list
        }
    }
    return true;
}

bool onLayerZero(const Json& entry) {
    auto layer = entry.find("kCGWindowLayer");
    return layer != entry.end() && layer->is_number_integer() && *layer == 0;
}

Json record(const Json& entry) {
    Json result = Json::object();
    for (const RecordField& field : recordFields) {
        auto found = entry.find(field.serverKey);
        result[field.key] = found != entry.end() ? *found : field.fallback;
    }
    return result;
}

}  // namespace

bool isPid(const Json& value, Pid pid) {
    if (value.is_number_unsigned()) {
        return pid >= 0 && value.get<std::uint64_t>() == static_cast<std::uint64_t>(pid);
    }
    return value.is_number_integer() && value.get<std::int64_t>() == pid;
}

Json windows(Platform& platform, AllLayers allLayers) {
    Json answer = platform.windowServerList();
    Json records = Json::array();
    if (!isUsableAnswer(answer)) {
        return records;
    }
    for (const Json& entry : answer) {
        if (allLayers == AllLayers::Yes || onLayerZero(entry)) {
            records.push_back(record(entry));
        }
    }
    return records;
}

}  // namespace quorvel
