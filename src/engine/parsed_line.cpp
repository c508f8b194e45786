// Splitting a line once and finding its references: see parsed_line.h.
#include "engine/parsed_line.h"

#include "engine/engine.h"
#include "engine/text.h"

namespace velmora {

namespace {

bool Expands(std::string_view field) {
    return field.find_first_of("%/") != std::string_view::npos;
}

FieldTemplate TemplateOf(std::string_view field) {
    FieldTemplate t;
    size_t at = 0;
    for (size_t open; (open = field.find('%', at)) != std::string_view::npos;) {
        size_t close = field.find('%', open + 1);
        if (close == std::string_view::npos) break;
        std::string name(field.substr(open + 1, close - open - 1));
        // A pass replaces every occurrence of its pattern, also one that straddles later
        // references: then only the passes give the right text.
        t.usable =
            t.usable && t.refs.size() < size_t(kMaxExpandPasses) &&
            field.find(field.substr(open, close - open + 1), open + 1) == std::string_view::npos;
        const int builtin = BuiltinIndexOf(name);
        t.refs.push_back({std::string(field.substr(at, open - at)), std::move(name), builtin});
        at = close + 1;
    }
    t.tail = field.substr(at);
    return t;
}

}  // namespace

ParsedLine ParseLine(std::string_view text) {
    ParsedLine p;
    if (IsPassedOver(text)) {
        p.kind = ParsedLine::Kind::PassedOver;
        return p;
    }
    if (text[0] == '"') {
        p.kind = ParsedLine::Kind::ExpandFirst;
        return p;
    }
    p.kind = ParsedLine::Kind::Fields;
    const LineFields f = SplitFields(text);
    p.command = f.command;
    if (Expands(p.command))
        p.expands = 1;
    else
        LowerAsciiInPlace(p.command);
    p.params.assign(f.params.begin(), f.params.begin() + f.count);
    p.templateOf.assign(size_t(f.count) + 1, -1);
    for (int i = 0; i <= f.count; ++i) {
        std::string_view field = i == 0 ? f.command : f.params[i - 1];
        if (i > 0 && Expands(field)) p.expands |= std::uint16_t(1u << i);
        if (field.find('%') == std::string_view::npos) continue;
        p.templateOf[size_t(i)] = static_cast<std::int8_t>(p.templates.size());
        p.templates.push_back(TemplateOf(field));
    }
    return p;
}

}  // namespace velmora
