// The product's version as text, from QV_VERSION (major,minor,patch), which the build defines
// from the one version in the top CMakeLists.txt. Also read by the version resource scripts.
#pragma once

#define QV_DOTS(major, minor, patch) #major "." #minor "." #patch
#define QV_DOTTED(version) QV_DOTS(version)
#define QV_VERSION_TEXT QV_DOTTED(QV_VERSION)
