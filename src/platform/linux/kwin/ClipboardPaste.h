#pragma once

// Text that KWin's keymap has no key for, handed to the focused application through the
// clipboard: the user's clipboard is saved at the first paste of a request, the text set in its
// place, the paste keys pressed, and the paste counted only once the application asked for the
// text after the press. At the end of the request the user's clipboard is put back, served by a
// process of the driver's own once the driver is gone (a Wayland selection dies with the client
// that set it).

#include <functional>
#include <memory>
#include <optional>
#include <string_view>

#include "platform/linux/kwin/ClipboardConnection.h"
#include "platform/linux/kwin/SavedClipboard.h"

namespace quorvel::kwin {

class ClipboardPaste {
  public:
    ClipboardPaste() = default;
    ~ClipboardPaste();
    ClipboardPaste(const ClipboardPaste&) = delete;
    ClipboardPaste& operator=(const ClipboardPaste&) = delete;

    void endWaitsWhen(GiveUp giveUp) { giveUp_ = std::move(giveUp); }

    // Pastes `text` (UTF-8) with `pressPasteKeys`, which gives false when it could not press
    // them. True only when the application asked for the text after the keys went down; false
    // also when the user's clipboard could not be saved, and then nothing was pasted.
    bool paste(std::string_view text, const std::function<bool()>& pressPasteKeys);

    // Puts the saved clipboard back, if a paste saved one; waits by its own short bound.
    void restore();

  private:
    std::unique_ptr<ClipboardConnection> connection_;
    std::optional<SavedClipboard> saved_;
    bool tried_ = false;
    GiveUp giveUp_;
};

// The hidden mode of the driver's own executable that serves a saved clipboard: it reads the
// clipboard from descriptor 3, sets it as the selection, says so on descriptor 4 and serves it
// until another client sets one or the compositor goes away. Its exit status.
int serveSavedClipboard();
// The argument that starts the executable in that mode.
constexpr const char* serveClipboardArgument = "--serve-saved-clipboard";

}  // namespace quorvel::kwin
