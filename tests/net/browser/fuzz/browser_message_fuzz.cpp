// libFuzzer target for what a browser sends the served window: any bytes are either
// refused or read as one event within its bounds, and the event written back in the
// page's form reads as the same event again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "net/browser/browser_protocol.h"

using namespace velmora;

namespace {

void Require(bool ok) {
    if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::optional<BrowserEvent> event = ParseBrowserMessage(text);
    if (!event) return 0;
    Require(size <= static_cast<size_t>(kMaxBrowserMessageBytes));
    Require(event->text.size() <= static_cast<size_t>(kMaxAnswerTextBytes));
    Require(event->at.x >= -kMaxPointerCoordinate && event->at.x <= kMaxPointerCoordinate);
    Require(event->at.y >= -kMaxPointerCoordinate && event->at.y <= kMaxPointerCoordinate);
    Require(event->button >= 0 && event->button <= 15 && event->dialog >= 0);
    if (event->kind == BrowserEvent::Kind::Key) Require(event->key != Key::Other);
    const std::optional<BrowserEvent> again = ParseBrowserMessage(EncodeBrowserMessage(*event));
    Require(again && *again == *event);
    return 0;
}
