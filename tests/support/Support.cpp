// Test fixtures are header-only; this file gives the support library a body.
namespace taviro::test {
void supportLibraryAnchor() {}
} // namespace taviro::test
