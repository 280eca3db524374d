#include "platform/linux/kwin/DataControlProtocol.h"

#include <wayland-client-protocol.h>

namespace {

// Each argument's interface, where the argument is an object or a new one; null otherwise.
const wl_interface* managerCreateTypes[] = {&zwlr_data_control_source_v1_interface};
const wl_interface* managerDeviceTypes[] = {&zwlr_data_control_device_v1_interface,
                                            &wl_seat_interface};
const wl_interface* sourceTypes[] = {&zwlr_data_control_source_v1_interface};
const wl_interface* offerTypes[] = {&zwlr_data_control_offer_v1_interface};
const wl_interface* noTypes[] = {nullptr, nullptr};

const wl_message managerRequests[] = {
    {"create_data_source", "n", managerCreateTypes},
    {"get_data_device", "no", managerDeviceTypes},
    {"destroy", "", noTypes},
};

const wl_message deviceRequests[] = {
    {"set_selection", "?o", sourceTypes},
    {"destroy", "", noTypes},
    {"set_primary_selection", "2?o", sourceTypes},
};
const wl_message deviceEvents[] = {
    {"data_offer", "n", offerTypes},
    {"selection", "?o", offerTypes},
    {"finished", "", noTypes},
    {"primary_selection", "2?o", offerTypes},
};

const wl_message sourceRequests[] = {
    {"offer", "s", noTypes},
    {"destroy", "", noTypes},
};
const wl_message sourceEvents[] = {
    {"send", "sh", noTypes},
    {"cancelled", "", noTypes},
};

const wl_message offerRequests[] = {
    {"receive", "sh", noTypes},
    {"destroy", "", noTypes},
};
const wl_message offerEvents[] = {
    {"offer", "s", noTypes},
};

}  // namespace

extern "C" {

const wl_interface zwlr_data_control_manager_v1_interface = {
    "zwlr_data_control_manager_v1", 2, 3, managerRequests, 0, nullptr};
const wl_interface zwlr_data_control_device_v1_interface = {
    "zwlr_data_control_device_v1", 2, 3, deviceRequests, 4, deviceEvents};
const wl_interface zwlr_data_control_source_v1_interface = {
    "zwlr_data_control_source_v1", 1, 2, sourceRequests, 2, sourceEvents};
const wl_interface zwlr_data_control_offer_v1_interface = {
    "zwlr_data_control_offer_v1", 1, 2, offerRequests, 1, offerEvents};

}  // extern "C"

namespace quorvel::kwin::dataControl {

namespace {

wl_proxy* proxy(auto* object) {
    return reinterpret_cast<wl_proxy*>(object);
}

std::uint32_t version(auto* object) {
    return wl_proxy_get_version(proxy(object));
}

// Request opcodes, in the protocol's order.
constexpr std::uint32_t managerCreateDataSource = 0;
constexpr std::uint32_t managerGetDataDevice = 1;
constexpr std::uint32_t managerDestroy = 2;
constexpr std::uint32_t deviceSetSelection = 0;
constexpr std::uint32_t deviceDestroy = 1;
constexpr std::uint32_t sourceOffer = 0;
constexpr std::uint32_t sourceDestroy = 1;
constexpr std::uint32_t offerReceive = 0;
constexpr std::uint32_t offerDestroy = 1;

void destroyWith(auto* object, std::uint32_t opcode) {
    if (object) {
        wl_proxy_marshal_flags(proxy(object), opcode, nullptr, version(object),
                               WL_MARSHAL_FLAG_DESTROY);
    }
}

}  // namespace

Source* createDataSource(Manager* manager) {
    return reinterpret_cast<Source*>(wl_proxy_marshal_flags(proxy(manager), managerCreateDataSource,
                                                            &zwlr_data_control_source_v1_interface,
                                                            version(manager), 0, nullptr));
}

Device* getDataDevice(Manager* manager, wl_proxy* seat) {
    return reinterpret_cast<Device*>(wl_proxy_marshal_flags(proxy(manager), managerGetDataDevice,
                                                            &zwlr_data_control_device_v1_interface,
                                                            version(manager), 0, nullptr, seat));
}

void destroy(Manager* manager) {
    destroyWith(manager, managerDestroy);
}

void setSelection(Device* device, Source* source) {
    wl_proxy_marshal_flags(proxy(device), deviceSetSelection, nullptr, version(device), 0,
                           proxy(source));
}

void destroy(Device* device) {
    destroyWith(device, deviceDestroy);
}

void addListener(Device* device, const DeviceListener* listener, void* data) {
    wl_proxy_add_listener(proxy(device),
                          reinterpret_cast<void (**)(void)>(const_cast<DeviceListener*>(listener)),
                          data);
}

void offer(Source* source, const char* mimeType) {
    wl_proxy_marshal_flags(proxy(source), sourceOffer, nullptr, version(source), 0, mimeType);
}

void destroy(Source* source) {
    destroyWith(source, sourceDestroy);
}

void addListener(Source* source, const SourceListener* listener, void* data) {
    wl_proxy_add_listener(proxy(source),
                          reinterpret_cast<void (**)(void)>(const_cast<SourceListener*>(listener)),
                          data);
}

void receive(Offer* offer, const char* mimeType, int fd) {
    wl_proxy_marshal_flags(proxy(offer), offerReceive, nullptr, version(offer), 0, mimeType, fd);
}

void destroy(Offer* offer) {
    destroyWith(offer, offerDestroy);
}

void addListener(Offer* offer, const OfferListener* listener, void* data) {
    wl_proxy_add_listener(proxy(offer),
                          reinterpret_cast<void (**)(void)>(const_cast<OfferListener*>(listener)),
                          data);
}

}  // namespace quorvel::kwin::dataControl
