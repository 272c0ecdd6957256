// A library that carries only the keyboard engine's resources, as the module holding the engine
// does, so that tests read the tables exactly as they are compiled.
extern "C" __attribute__((visibility("default"))) int KeyboardResourceModule() { return 1; }
