// What the reader learns of a script line once per load of the file: whether it is passed
// over, and otherwise its fields, split once, with their variable references found.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

struct Command;

// A field's references, found once: literal text, then a name, and so on, then the tail.
// Filled left to right it gives what pass after pass of ExpandReference gives, as long as
// no value holds a "%" of its own, the field stays within the size limit and each pattern
// occurs once; other fields are left to the passes.
struct FieldTemplate {
    struct Reference {
        std::string before, name;
        int builtin;  // index of a built-in name, or -1
    };
    std::vector<Reference> refs;
    std::string tail;
    bool usable = true;
};

// What the reader learns of a line that holds until the file is read again: a line that is
// passed over, one to expand before it is split (it begins with '"'), or its fields, with
// the ones that hold a reference or an escape marked. A line without either is split once.
struct ParsedLine {
    enum class Kind : std::uint8_t { Unknown, PassedOver, ExpandFirst, Fields };
    Kind kind = Kind::Unknown;
    std::uint16_t expands = 0;  // bit 0: the command word; bit i + 1: parameter i
    std::string command;        // lower-cased when it expands to nothing else
    std::vector<std::string> params;
    std::vector<FieldTemplate> templates;  // of the fields with a reference, in field order
    std::vector<std::int8_t> templateOf;   // per field (command first): index, or -1
    const Command* row = nullptr;          // the command's row, when its word is fixed
};

// The parts of a trimmed line that do not depend on variables; the command row is left
// to the caller, who knows the table.
ParsedLine ParseLine(std::string_view trimmed);

}  // namespace velmora
