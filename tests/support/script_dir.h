// Program folders for tests: the temporary folder under its older name.
#pragma once

#include "temp_dir.h"

namespace velmora::test {

using ScriptDir = TempDir;

}  // namespace velmora::test
