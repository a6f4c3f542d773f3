// Compiled into each of our builds of the card library, whose file bears the maker's name:
// what it is, for qvhost --list-cards, and the same as a mark in a section of its own for
// whoever has only the file (readelf -p .qv_identity), with the version. The build defines
// QV_IDENTITY and the version.
#include "card/our_libraries.h"
#include "driver/product_version.h"

namespace {

[[gnu::used, gnu::section(".qv_identity")]] const char kMark[] =
    QV_IDENTITY " " QV_VERSION_TEXT QV_NOT_THE_MAKERS;

}  // namespace

extern "C" OX952_API const char* Qv_lvk5120x_Identity(void) {
  return QV_IDENTITY;
}
