// A shared object that an image or a package might bring in place of a skin or a library: any
// code of it that runs marks the process, which the tests then look for.
#include <cstdlib>

namespace {

__attribute__((constructor)) void Planted() { setenv("VX_PLANTED_CODE_RAN", "constructor", 1); }

}  // namespace

extern "C" __attribute__((visibility("default"))) int DllMain(void*, unsigned long, void*) {
    setenv("VX_PLANTED_CODE_RAN", "entry", 1);
    return 1;
}
