#include "DocumentHost.h"

namespace taviro {

IDocumentHost::~IDocumentHost() = default;

} // namespace taviro
