// Keeps this test-support library valid while it has no other sources.
namespace quorlane::test { int SupportAnchor_engine() { return 0; } }
