// CP932 <-> QString at the edge between the program's text and Qt's widgets.
#pragma once

#include <QString>
#include <string>

#include "engine/text.h"

namespace velmora {

inline QString FromCp932(const std::string& cp932) {
    return QString::fromUtf8(Cp932ToUtf8(cp932));
}

inline std::string ToCp932(const QString& text) {
    return Utf8ToCp932(text.toStdString());
}

}  // namespace velmora
