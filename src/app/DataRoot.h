#pragma once

#include <string>

#include "base/PathJoin.h"

namespace lumivant {

// The directory that holds all of the shell's own files. Read afresh from the
// environment at every call; never checked or created here.
//
// ORLATH_FRAMEWORK_HOME, with a leading tilde expanded and a relative path taken
// against the working directory; otherwise ~/.orlath-framework. The result has
// no trailing slash, so appending "/name" gives exactly one separator.
std::string dataRoot();

}  // namespace lumivant
