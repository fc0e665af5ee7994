// Keeps the test-support library valid while it has no other sources.
namespace quorlane::test { int SupportAnchor() { return 0; } }
