// Placeholder; implementation follows.
