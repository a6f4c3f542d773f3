// The product's version as text, from QV_VERSION_MAJOR, _MINOR and _PATCH, which the build
// defines from the one version in the top CMakeLists.txt. Also read by the version resource
// scripts.
#pragma once

// Only a source read outside the build (static analysis) lacks them; a binary built so would
// say 0.0.0, which the package check refuses.
#ifndef QV_VERSION_MAJOR
#define QV_VERSION_MAJOR 0
#define QV_VERSION_MINOR 0
#define QV_VERSION_PATCH 0
#endif

#define QV_TEXT_OF(number) #number
#define QV_TEXT(number) QV_TEXT_OF(number)
#define QV_VERSION_TEXT \
  QV_TEXT(QV_VERSION_MAJOR) "." QV_TEXT(QV_VERSION_MINOR) "." QV_TEXT(QV_VERSION_PATCH)
// major,minor,patch,0 for FILEVERSION and PRODUCTVERSION
#define QV_VERSION_NUMBERS QV_VERSION_MAJOR, QV_VERSION_MINOR, QV_VERSION_PATCH, 0
