// Browser messages in JSON, checked field by field; frames as small binary records.
#include "net/browser/browser_protocol.h"

#include <QBuffer>
#include <QJsonDocument>
#include <QJsonValue>
#include <QtEndian>
#include <array>

namespace velmora {

namespace {

struct KeyName {
    const char* name;
    Key key;
};
constexpr std::array kKeyNames{
    KeyName{"Left", Key::Left},     KeyName{"Up", Key::Up},       KeyName{"Right", Key::Right},
    KeyName{"Down", Key::Down},     KeyName{"Enter", Key::Enter}, KeyName{"Space", Key::Space},
    KeyName{"Escape", Key::Escape},
};

struct PhaseName {
    const char* name;
    BrowserEvent::Phase phase;
};
constexpr std::array kPhaseNames{
    PhaseName{"down", BrowserEvent::Phase::Down},
    PhaseName{"move", BrowserEvent::Phase::Move},
    PhaseName{"up", BrowserEvent::Phase::Up},
};

// An integer field within [low, high]; JSON numbers are doubles, so fractions are refused.
std::optional<int> IntField(const QJsonObject& o, const char* name, int low, int high) {
    const QJsonValue v = o.value(QLatin1String(name));
    if (!v.isDouble()) return std::nullopt;
    const double d = v.toDouble();
    if (!(d >= low && d <= high) || d != static_cast<int>(d)) return std::nullopt;
    return static_cast<int>(d);
}

std::optional<BrowserEvent> ReadKey(const QJsonObject& o) {
    const QString name = o.value(QLatin1String("key")).toString();
    const QJsonValue down = o.value(QLatin1String("down"));
    if (!down.isBool() || o.size() != 3) return std::nullopt;
    for (const KeyName& k : kKeyNames) {
        if (name != QLatin1String(k.name)) continue;
        BrowserEvent e;
        e.kind = BrowserEvent::Kind::Key;
        e.key = k.key;
        e.down = down.toBool();
        return e;
    }
    return std::nullopt;
}

std::optional<BrowserEvent> ReadPointer(const QJsonObject& o) {
    const QString name = o.value(QLatin1String("phase")).toString();
    const auto x = IntField(o, "x", -kMaxPointerCoordinate, kMaxPointerCoordinate);
    const auto y = IntField(o, "y", -kMaxPointerCoordinate, kMaxPointerCoordinate);
    if (!x || !y || o.size() != 4) return std::nullopt;
    for (const PhaseName& p : kPhaseNames) {
        if (name != QLatin1String(p.name)) continue;
        BrowserEvent e;
        e.kind = BrowserEvent::Kind::Pointer;
        e.phase = p.phase;
        e.at = Point{*x, *y};
        return e;
    }
    return std::nullopt;
}

std::optional<BrowserEvent> ReadAnswer(const QJsonObject& o) {
    const auto dialog = IntField(o, "dialog", 0, 1 << 30);
    const auto button = IntField(o, "button", 0, 15);
    const QJsonValue text = o.value(QLatin1String("text"));
    if (!dialog || !button || !text.isString() || o.size() != 4) return std::nullopt;
    const QByteArray utf8 = text.toString().toUtf8();
    if (utf8.size() > kMaxAnswerTextBytes) return std::nullopt;
    BrowserEvent e;
    e.kind = BrowserEvent::Kind::Answer;
    e.dialog = *dialog;
    e.button = *button;
    e.text = utf8.toStdString();
    return e;
}

void PutU16(QByteArray& out, int v) {
    const quint16 be = qToBigEndian(static_cast<quint16>(v));
    out.append(reinterpret_cast<const char*>(&be), 2);
}

void PutU32(QByteArray& out, qsizetype v) {
    const quint32 be = qToBigEndian(static_cast<quint32>(v));
    out.append(reinterpret_cast<const char*>(&be), 4);
}

}  // namespace

std::optional<BrowserEvent> ParseBrowserMessage(std::string_view message) {
    if (message.size() > static_cast<size_t>(kMaxBrowserMessageBytes)) return std::nullopt;
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(
        QByteArray(message.data(), static_cast<qsizetype>(message.size())), &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) return std::nullopt;
    const QJsonObject o = doc.object();
    const QString kind = o.value(QLatin1String("k")).toString();
    if (kind == QLatin1String("key")) return ReadKey(o);
    if (kind == QLatin1String("ptr")) return ReadPointer(o);
    if (kind == QLatin1String("answer")) return ReadAnswer(o);
    if (kind == QLatin1String("about") && o.size() == 1) {
        BrowserEvent e;
        e.kind = BrowserEvent::Kind::About;
        return e;
    }
    return std::nullopt;
}

std::string EncodeBrowserMessage(const BrowserEvent& e) {
    QJsonObject o;
    switch (e.kind) {
        case BrowserEvent::Kind::Key:
            o[QLatin1String("k")] = QLatin1String("key");
            for (const KeyName& k : kKeyNames)
                if (k.key == e.key) o[QLatin1String("key")] = QLatin1String(k.name);
            o[QLatin1String("down")] = e.down;
            break;
        case BrowserEvent::Kind::Pointer:
            o[QLatin1String("k")] = QLatin1String("ptr");
            for (const PhaseName& p : kPhaseNames)
                if (p.phase == e.phase) o[QLatin1String("phase")] = QLatin1String(p.name);
            o[QLatin1String("x")] = e.at.x;
            o[QLatin1String("y")] = e.at.y;
            break;
        case BrowserEvent::Kind::Answer:
            o[QLatin1String("k")] = QLatin1String("answer");
            o[QLatin1String("dialog")] = e.dialog;
            o[QLatin1String("button")] = e.button;
            o[QLatin1String("text")] = QString::fromStdString(e.text);
            break;
        case BrowserEvent::Kind::About:
            o[QLatin1String("k")] = QLatin1String("about");
            break;
    }
    return QJsonDocument(o).toJson(QJsonDocument::Compact).toStdString();
}

// Type 1: a count, then per piece x, y, width, height (16 bits each), the PNG's length
// (32 bits) and the PNG. Big-endian, as the page's DataView reads by default.
BrowserMessage FrameMessage(const std::vector<FramePiece>& pieces) {
    QByteArray out;
    out.append(char(1));
    PutU16(out, static_cast<int>(pieces.size()));
    for (const FramePiece& p : pieces) {
        PutU16(out, p.rect.x());
        PutU16(out, p.rect.y());
        PutU16(out, p.rect.width());
        PutU16(out, p.rect.height());
        PutU32(out, p.png.size());
        out.append(p.png);
    }
    return {BrowserMessage::Kind::Binary, out};
}

// Type 2: the dialog's number (32 bits), then its PNG.
BrowserMessage DialogPictureMessage(int dialog, const QImage& picture) {
    QByteArray out;
    out.append(char(2));
    PutU32(out, dialog);
    QBuffer buffer(&out);
    buffer.open(QIODevice::Append);
    picture.save(&buffer, "PNG");
    return {BrowserMessage::Kind::Binary, out};
}

BrowserMessage TextMessage(const char* kind, QJsonObject fields) {
    fields[QLatin1String("k")] = QLatin1String(kind);
    return {BrowserMessage::Kind::Text, QJsonDocument(fields).toJson(QJsonDocument::Compact)};
}

}  // namespace velmora
