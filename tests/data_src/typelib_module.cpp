// An ELF library whose only content of interest is its embedded type library resource.
extern "C" int TypelibModuleMarker() { return 1; }
