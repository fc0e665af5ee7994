// Keeps quorlane_core a valid library while one of its folders is still empty.
namespace quorlane { int CoreAnchor() { return 0; } }
