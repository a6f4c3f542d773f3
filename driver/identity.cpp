// What the driver's file is and which version, for whoever has only the file:
// readelf -p .qv_identity Qv_lvk5120x.so (on Windows the version resource says it).
#include "driver/product_version.h"

namespace {

[[gnu::used, gnu::section(".qv_identity")]] const char kMark[] =
    "Qv_lvk5120x driver " QV_VERSION_TEXT;

}  // namespace
