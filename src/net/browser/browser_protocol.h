// The messages between the served window and its browsers: what a browser may send (keys,
// pointer, dialog answers), read strictly, and the texts and frames the program sends.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QJsonObject>
#include <QRect>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "window/interaction.h"

namespace velmora {

// A browser's message larger than this is refused unread: the largest real one, an
// answer of 250 CP932 bytes escaped in JSON, stays far below it.
constexpr int kMaxBrowserMessageBytes = 4096;
// An answer's text, in UTF-8 bytes, before the dialog's own limit cuts it.
constexpr int kMaxAnswerTextBytes = 1024;
// Pointer coordinates beyond this are refused: far outside any window.
constexpr int kMaxPointerCoordinate = 1 << 15;

struct BrowserEvent {
    enum class Kind { Key, Pointer, Answer, About };
    enum class Phase { Down, Move, Up };

    Kind kind = Kind::Key;
    Key key = Key::Other;       // Key
    bool down = false;          // Key: pressed (true) or released
    Phase phase = Phase::Down;  // Pointer
    Point at;                   // Pointer, in window pixels
    int dialog = 0;             // Answer: the dialog's number
    int button = 0;             // Answer: which of its buttons, from 0
    std::string text;           // Answer: UTF-8 text of its edit field

    bool operator==(const BrowserEvent&) const = default;
};

// Reads one message of a browser; nothing for anything not exactly one of the forms.
std::optional<BrowserEvent> ParseBrowserMessage(std::string_view message);
// The form ParseBrowserMessage reads; the page writes the same.
std::string EncodeBrowserMessage(const BrowserEvent& event);

// One changed piece of the window and its picture (PNG, transparent outside the shape).
struct FramePiece {
    QRect rect;
    QByteArray png;
};
// A message to browsers, sent as a WebSocket text or binary message as its kind says.
struct BrowserMessage {
    enum class Kind { Text, Binary };
    Kind kind = Kind::Text;
    QByteArray bytes;
};
// Binary: the window's pieces, or a dialog's picture.
BrowserMessage FrameMessage(const std::vector<FramePiece>& pieces);
BrowserMessage DialogPictureMessage(int dialog, const QImage& picture);
// Text: JSON of the given kind with its fields.
BrowserMessage TextMessage(const char* kind, QJsonObject fields = {});

}  // namespace velmora
