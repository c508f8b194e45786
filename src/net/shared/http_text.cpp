// Shift-JIS normalisation, HTML escaping, percent-encoding and form decoding. For the
// first, the text is brought to an EUC-like form (JIS X 0208 pairs with bit 0x80 set),
// accepted only if every high byte pairs up; the pairs are then converted to Shift-JIS.
#include "net/shared/http_text.h"

#include <cstring>

#include "engine/text.h"

namespace velmora {

namespace {

constexpr unsigned char kEsc = 0x1B;

bool IsSjisTrail(unsigned char y) {
    return y >= 0x40 && y <= 0xFC && y != 0x7F;
}
bool IsJisByte(unsigned char c) {
    return c >= 0x21 && c <= 0x7E;
}

// Shift-JIS pair to its JIS X 0208 row and cell.
void SjisToJis(unsigned char& a, unsigned char& b) {
    int adjust = b < 0x9F;
    int rowOffset = a < 0xA0 ? 0x70 : 0xB0;
    int cellOffset = adjust ? (b > 0x7F ? 0x20 : 0x1F) : 0x7E;
    a = static_cast<unsigned char>(((a - rowOffset) << 1) - adjust);
    b = static_cast<unsigned char>(b - cellOffset);
}

// JIS X 0208 row and cell to the Shift-JIS pair.
void JisToSjis(unsigned char& a, unsigned char& b) {
    int rowOffset = a < 0x5F ? 0x70 : 0xB0;
    int cellOffset = (a & 1) ? (b > 0x5F ? 0x20 : 0x1F) : 0x7E;
    a = static_cast<unsigned char>(((a + 1) >> 1) + rowOffset);
    b = static_cast<unsigned char>(b + cellOffset);
}

bool HasSjisEvidence(std::string_view s) {
    for (size_t i = 0; i + 1 < s.size(); ++i) {
        unsigned char x = s[i], y = s[i + 1];
        if (x >= 0x81 && x <= 0x9F && IsSjisTrail(y)) return true;
    }
    return false;
}

class Intermediate {
public:
    explicit Intermediate(std::string_view s) : s_(s), evidence_(HasSjisEvidence(s)) {}

    std::string build() {
        while (i_ < s_.size()) {
            if (at(i_) == kEsc && escape()) continue;
            ordinary();
        }
        return out_;
    }

private:
    unsigned char at(size_t i) const { return i < s_.size() ? s_[i] : 0; }

    // Mode-switching escape sequences write nothing; true when the bytes were consumed.
    bool escape() {
        unsigned char b1 = at(i_ + 1), b2 = at(i_ + 2);
        if (b1 == '$' && (b2 == 'B' || b2 == '@')) {
            jis_ = true;
            i_ += 3;
            return true;
        }
        if (b1 == '(' && (b2 == 'B' || b2 == 'J' || b2 == 'H')) {
            jis_ = false;
            i_ += 3;
            return true;
        }
        if (b1 == '(' || b1 == '$' || b1 == ',') jis_ = false;
        return false;
    }

    void ordinary() {
        unsigned char x = at(i_), y = at(i_ + 1);
        if (x >= 0x80) ++high_;
        bool sjisLead = x >= 0x81 && x <= 0x9F;
        if (sjisLead && IsSjisTrail(y)) evidence_ = true;
        if (IsSjisTrail(y) && (sjisLead || (evidence_ && x >= 0xE0 && x <= 0xEF))) {
            SjisToJis(x, y);
            put(x | 0x80);
            put(y | 0x80);
            i_ += 2;
        } else if (jis_) {
            jisByte(x, y);
        } else {
            if (!((x == 0x0E || x == 0x0F) && high_ == 0)) put(x);
            ++i_;
        }
    }

    void jisByte(unsigned char x, unsigned char y) {
        if (IsJisByte(x)) {
            if (i_ + 1 < s_.size() && IsJisByte(y)) {
                put(x | 0x80);
                put(y | 0x80);
            }
            i_ += 2;
            return;
        }
        put(x);
        if (x == '\n') jis_ = false;
        ++i_;
    }

    void put(int c) { out_.push_back(static_cast<char>(c)); }

    std::string_view s_;
    std::string out_;
    size_t i_ = 0;
    bool evidence_;
    bool jis_ = false;
    int high_ = 0;
};

// Every high byte pairs with a following high byte, both in the JIS X 0208 range.
bool PairsUp(std::string_view t) {
    for (size_t i = 0; i < t.size(); ++i) {
        unsigned char a = t[i];
        if (a < 0x80) continue;
        if (i + 1 >= t.size()) return false;
        unsigned char b = t[i + 1];
        if (b < 0x80 || !IsJisByte(a & 0x7F) || !IsJisByte(b & 0x7F)) return false;
        ++i;
    }
    return true;
}

}  // namespace

std::string NormalizeToShiftJis(std::string_view text) {
    std::string t = Intermediate(text).build();
    if (!PairsUp(t)) return std::string(text);
    std::string out;
    out.reserve(t.size());
    for (size_t i = 0; i < t.size(); ++i) {
        unsigned char a = t[i];
        if (a < 0x80) {
            out.push_back(static_cast<char>(a));
            continue;
        }
        unsigned char b = t[++i] & 0x7F;
        a &= 0x7F;
        JisToSjis(a, b);
        out.push_back(static_cast<char>(a));
        out.push_back(static_cast<char>(b));
    }
    return out;
}

std::string HtmlEscape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&#39;";
                break;
            default:
                out.push_back(c);
        }
    }
    return out;
}

std::string PercentEncode(std::string_view bytes, bool keepSlash) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes.size() * 3);
    for (unsigned char c : bytes) {
        bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                     c == '-' || c == '.' || c == '_' || c == '~' || (keepSlash && c == '/');
        if (plain) {
            out.push_back(static_cast<char>(c));
        } else {
            out.push_back('%');
            out.push_back(kHex[c >> 4]);
            out.push_back(kHex[c & 15]);
        }
    }
    return out;
}

std::string PageText(std::string_view name) {
    return IsValidUtf8(name) ? Utf8ToCp932(name) : std::string(name);
}

namespace {

// Hex digit value as the server has always read it: lenient, so "%zz" still yields a byte.
int EscapeDigit(unsigned char c) {
    if (c < 'A' || c >= 0x80) return c - 0x30;
    return (c & ~0x20) - 0x37;
}

}  // namespace

void UrlDecode(std::string& text) {
    for (char& c : text)
        if (c == '+') c = ' ';
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            int hi = EscapeDigit(static_cast<unsigned char>(text[i + 1]));
            int lo = EscapeDigit(static_cast<unsigned char>(text[i + 2]));
            out.push_back(static_cast<char>((hi * 16 + lo) & 0xFF));
            i += 2;
        } else {
            out.push_back(text[i]);
        }
    }
    out.resize(std::strlen(out.c_str()));
    text = std::move(out);
}

std::string TakeToken(std::string& s, char d) {
    size_t at = s.find(d);
    std::string token = s.substr(0, at);
    s.erase(0, at == std::string::npos ? s.size() : at + 1);
    return token;
}

}  // namespace velmora
