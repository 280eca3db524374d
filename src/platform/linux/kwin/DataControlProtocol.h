#pragma once

// The wlr data-control protocol (zwlr_data_control_*_v1, version 1), which lets a client that
// has no surface read and set the seat's clipboard: KWin offers it to every client. No Debian
// package ships its description, so the few requests and events used here are declared by hand
// after the protocol's wire signatures; the rest of its version 2 (the primary selection) is
// never bound.

#include <wayland-client-core.h>

#include <cstdint>

extern "C" {

extern const wl_interface zwlr_data_control_manager_v1_interface;
extern const wl_interface zwlr_data_control_device_v1_interface;
extern const wl_interface zwlr_data_control_source_v1_interface;
extern const wl_interface zwlr_data_control_offer_v1_interface;

}  // extern "C"

namespace quorvel::kwin::dataControl {

// Proxies of the four interfaces, kept distinct for the compiler.
struct Manager;
struct Device;
struct Source;
struct Offer;

// The events, in the protocol's order: libwayland calls these by position.
struct DeviceListener {
    void (*dataOffer)(void* data, Device* device, Offer* offer);
    void (*selection)(void* data, Device* device, Offer* offer);  // null: no selection
    void (*finished)(void* data, Device* device);
};
struct SourceListener {
    void (*send)(void* data, Source* source, const char* mimeType, std::int32_t fd);
    void (*cancelled)(void* data, Source* source);
};
struct OfferListener {
    void (*offer)(void* data, Offer* offer, const char* mimeType);
};

Source* createDataSource(Manager* manager);
Device* getDataDevice(Manager* manager, wl_proxy* seat);
void destroy(Manager* manager);

void setSelection(Device* device, Source* source);
void destroy(Device* device);
void addListener(Device* device, const DeviceListener* listener, void* data);

void offer(Source* source, const char* mimeType);
void destroy(Source* source);
void addListener(Source* source, const SourceListener* listener, void* data);

// The compositor has the owner write the selection as `mimeType` into `fd`; the caller keeps and
// closes its own copy of `fd`.
void receive(Offer* offer, const char* mimeType, int fd);
void destroy(Offer* offer);
void addListener(Offer* offer, const OfferListener* listener, void* data);

}  // namespace quorvel::kwin::dataControl
