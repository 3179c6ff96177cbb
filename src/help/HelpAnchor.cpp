// The help commands live here; this file gives the library a body until they do.
namespace taviro::help {
void libraryAnchor() {}
} // namespace taviro::help
