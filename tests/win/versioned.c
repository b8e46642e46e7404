/* A library that carries only a version resource: test payload for the copy rules. */
int versioned_marker(void) { return 0; }
